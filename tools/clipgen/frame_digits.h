#pragma once

#include <cstdint>

// Paints `number` in decimal, as seven-segment digits a person reads from across the room, on a
// white plate centred in the lower half of an 8-bit luma plane. The upper half, where the
// machine-readable frame code stands, is left alone. Pictures too small for legible digits
// stay as they are.
void paintFrameDigits(std::int64_t number, std::uint8_t* luma, int width, int height, int stride);

#pragma once

#include <cstdint>
#include <optional>

// The frame number painted into every generated picture, as large black and white cells that
// survive lossy compression and scaling. The upper half of the picture holds two grids of
// FrameCodeColumns x FrameCodeRows cells: the number's bits, then the same bits inverted, so a
// reader can tell a clean picture from a blurred, half-drawn or foreign one.
inline constexpr int FrameCodeColumns = 8;
inline constexpr int FrameCodeRows = 3;
inline constexpr int FrameCodeBits = FrameCodeColumns * FrameCodeRows;
inline constexpr std::int64_t FrameCodeLimit = std::int64_t{1} << FrameCodeBits;

// Paints frame number `frame` (0 .. FrameCodeLimit - 1) into an 8-bit luma plane, covering the
// whole plane: the code in the upper half, a pattern moving with the frame in the lower half.
void paintFrameCode(std::int64_t frame, std::uint8_t* luma, int width, int height, int stride);

// Reads the frame number back from an 8-bit luma plane of any size (the picture may have been
// scaled). Nothing when the cells do not hold a consistent code.
std::optional<std::int64_t> readFrameCode(const std::uint8_t* luma, int width, int height,
                                          int stride);

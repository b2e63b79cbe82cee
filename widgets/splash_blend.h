#pragma once

#include <cstdint>
#include <span>

// The splash window's see-through edges: each colour byte of the screen under the window is
// replaced by (screen × (256 − mask) + map × mask) ÷ 256, on unsigned values, rounded down.
// A mask byte of 255 thus shows the picture almost unchanged, 0 shows the screen.
inline constexpr std::uint8_t blendSplashByte(std::uint8_t screen, std::uint8_t map,
                                              std::uint8_t mask) {
    const unsigned sum = unsigned{screen} * (256u - mask) + unsigned{map} * mask;
    return static_cast<std::uint8_t>(sum >> 8);
}

// Blends one row in place; the three spans hold the same pixel layout (three bytes a pixel).
// Only the bytes common to all three are touched.
void blendSplashRow(std::span<std::uint8_t> screen, std::span<const std::uint8_t> map,
                    std::span<const std::uint8_t> mask);

#pragma once

#include <cstdint>

// A colour as the component properties store it: red in the low byte, green in the second, blue
// in the third. A value with the top bit set names a system colour by its index in the low byte;
// it becomes a real colour only when a widget resolves it against the current palette.
using TColor = std::int32_t;

namespace colors {
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clWhite = 0xFFFFFF;

inline constexpr TColor systemColor(int index) {
    return static_cast<TColor>(0x80000000u | static_cast<std::uint32_t>(index & 0xFF));
}
inline constexpr TColor clWindow = systemColor(5);
inline constexpr TColor clWindowText = systemColor(8);
inline constexpr TColor clBtnFace = systemColor(15);
}  // namespace colors

inline constexpr bool isSystemColor(TColor color) {
    return color < 0;
}
inline constexpr int systemColorIndex(TColor color) {
    return color & 0xFF;
}

// The 0xAARRGGBB form of a plain colour, opaque. Meaningless for a system colour.
inline constexpr std::uint32_t toArgb(TColor color) {
    const auto value = static_cast<std::uint32_t>(color);
    return 0xFF000000u | ((value & 0xFFu) << 16) | (value & 0xFF00u) | ((value >> 16) & 0xFFu);
}

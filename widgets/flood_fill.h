#pragma once

#include <cstddef>
#include <cstdint>

// A view of 32-bit pixels laid out in rows of `stride` values (stride >= width).
struct PixelGrid {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    std::uint32_t& at(int x, int y) const { return pixels[y * stride + x]; }
};

// Replaces by `replacement` every pixel of the 4-connected area of colour `target` that contains
// (x, y), as the desktop's surface flood fill does. Nothing happens when (x, y) lies outside the
// grid or is not of colour `target`. Returns the number of pixels changed.
int floodFill(const PixelGrid& grid, int x, int y, std::uint32_t target, std::uint32_t replacement);

#include "frame_code.h"

#include <algorithm>

namespace {

constexpr std::uint8_t Black = 16;
constexpr std::uint8_t White = 235;
constexpr int GridRows = 2 * FrameCodeRows;

// Cell (column, row) of the code area, rows 0 .. GridRows - 1, in picture coordinates.
struct Cell {
    int left, top, right, bottom;
};

Cell cellAt(int column, int row, int width, int height) {
    const int codeHeight = height / 2;
    return Cell{column * width / FrameCodeColumns, row * codeHeight / GridRows,
                (column + 1) * width / FrameCodeColumns, (row + 1) * codeHeight / GridRows};
}

bool bitOf(std::int64_t frame, int bit) {
    return ((frame >> bit) & 1) != 0;
}

}  // namespace

void paintFrameCode(std::int64_t frame, std::uint8_t* luma, int width, int height, int stride) {
    for (int row = 0; row < GridRows; ++row) {
        for (int column = 0; column < FrameCodeColumns; ++column) {
            const int bit = (row % FrameCodeRows) * FrameCodeColumns + column;
            const bool inverted = row >= FrameCodeRows;
            const std::uint8_t value = (bitOf(frame, bit) != inverted) ? White : Black;
            const Cell c = cellAt(column, row, width, height);
            for (int y = c.top; y < c.bottom; ++y) {
                std::fill(luma + y * stride + c.left, luma + y * stride + c.right, value);
            }
        }
    }
    // Something for the encoders to work on below the code: a ramp sliding with the frame.
    for (int y = height / 2; y < height; ++y) {
        std::uint8_t* line = luma + y * stride;
        for (int x = 0; x < width; ++x) {
            line[x] = static_cast<std::uint8_t>(48 + ((x + y + frame * 4) % 160));
        }
    }
}

std::optional<std::int64_t> readFrameCode(const std::uint8_t* luma, int width, int height,
                                          int stride) {
    if (width < FrameCodeColumns * 4 || height < GridRows * 8) {
        return std::nullopt;
    }
    // Mean of the middle half of a cell, away from edges that compression and scaling smear.
    auto level = [&](int column, int row) {
        const Cell c = cellAt(column, row, width, height);
        const int marginX = (c.right - c.left) / 4;
        const int marginY = (c.bottom - c.top) / 4;
        long sum = 0;
        long count = 0;
        for (int y = c.top + marginY; y < c.bottom - marginY; ++y) {
            for (int x = c.left + marginX; x < c.right - marginX; ++x) {
                sum += luma[y * stride + x];
                ++count;
            }
        }
        return count > 0 ? sum / count : 0;
    };
    constexpr long Low = 80;
    constexpr long High = 170;
    std::int64_t frame = 0;
    for (int bit = 0; bit < FrameCodeBits; ++bit) {
        const int column = bit % FrameCodeColumns;
        const int row = bit / FrameCodeColumns;
        const long plain = level(column, row);
        const long inverted = level(column, row + FrameCodeRows);
        if (plain >= High && inverted <= Low) {
            frame |= std::int64_t{1} << bit;
        } else if (!(plain <= Low && inverted >= High)) {
            return std::nullopt;
        }
    }
    return frame;
}

#include "frame_digits.h"

#include <algorithm>
#include <array>
#include <string>

namespace {

constexpr std::uint8_t Ink = 16;
constexpr std::uint8_t Plate = 235;

// Segments a (top), b (upper right), c (lower right), d (bottom), e (lower left), f (upper left)
// and g (middle) as bits 0 to 6.
constexpr std::array<std::uint8_t, 10> Segments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                   0x6D, 0x7D, 0x07, 0x7F, 0x6F};

struct Plane {
    std::uint8_t* luma;
    int stride;

    void fill(int left, int top, int right, int bottom, std::uint8_t value) const {
        for (int y = top; y < bottom; ++y) {
            std::fill(luma + y * stride + left, luma + y * stride + right, value);
        }
    }
};

void paintDigit(const Plane& plane, int digit, int left, int top, int width, int height) {
    const int t = std::max(2, height / 9);
    const int middle = top + (height - t) / 2;
    const int right = left + width;
    const int bottom = top + height;
    const std::uint8_t on = Segments[static_cast<std::size_t>(digit)];
    const auto segment = [&](int bit, int l, int tp, int r, int b) {
        if ((on >> bit) & 1) {
            plane.fill(l, tp, r, b, Ink);
        }
    };
    segment(0, left, top, right, top + t);
    segment(1, right - t, top, right, middle + t);
    segment(2, right - t, middle, right, bottom);
    segment(3, left, bottom - t, right, bottom);
    segment(4, left, middle, left + t, bottom);
    segment(5, left, top, left + t, middle + t);
    segment(6, left, middle, right, middle + t);
}

}  // namespace

void paintFrameDigits(std::int64_t number, std::uint8_t* luma, int width, int height, int stride) {
    const std::string text = std::to_string(std::max<std::int64_t>(number, 0));
    const int count = static_cast<int>(text.size());
    // Digits half as wide as high with a gap of a quarter height, on a plate with a margin of a
    // quarter height, filling at most 60 % of the lower half's height and 90 % of the width.
    const int half = height / 2;
    int digitHeight = half * 6 / 10;
    digitHeight = std::min(digitHeight, (width * 9 / 10) * 4 / (count * 3 + 1));
    if (digitHeight < 12) {
        return;
    }
    const int digitWidth = digitHeight / 2;
    const int gap = digitHeight / 4;
    const int margin = digitHeight / 4;
    const int plateWidth = count * digitWidth + (count - 1) * gap + 2 * margin;
    const int plateHeight = digitHeight + 2 * margin;
    const int plateLeft = (width - plateWidth) / 2;
    const int plateTop = half + (half - plateHeight) / 2;
    const Plane plane{luma, stride};
    plane.fill(plateLeft, plateTop, plateLeft + plateWidth, plateTop + plateHeight, Plate);
    for (int i = 0; i < count; ++i) {
        paintDigit(plane, text[static_cast<std::size_t>(i)] - '0',
                   plateLeft + margin + i * (digitWidth + gap), plateTop + margin, digitWidth,
                   digitHeight);
    }
}

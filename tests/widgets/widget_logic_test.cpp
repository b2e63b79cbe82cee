#include <gtest/gtest.h>

#include "widgets/color_value.h"
#include "widgets/flood_fill.h"
#include "widgets/spin_value.h"
#include "widgets/splash_blend.h"

#include <QString>
#include <limits>
#include <vector>

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct Canvas {
    Canvas(int w, int h, std::uint32_t fill) : width(w), height(h), pixels(w * h, fill) {}
    PixelGrid grid() { return {pixels.data(), width, height, width}; }
    std::uint32_t at(int x, int y) const { return pixels[y * width + x]; }
    int width;
    int height;
    std::vector<std::uint32_t> pixels;
};

}  // namespace

TEST(Colors, LowByteIsRedAndTopBitNamesASystemColour) {
    EXPECT_EQ(toArgb(colors::clRed), 0xFFFF0000u);
    EXPECT_EQ(toArgb(colors::clLime), 0xFF00FF00u);
    EXPECT_EQ(toArgb(colors::clBlue), 0xFF0000FFu);
    EXPECT_EQ(toArgb(0x123456), 0xFF563412u);
    EXPECT_TRUE(isSystemColor(colors::clBtnFace));
    EXPECT_EQ(systemColorIndex(colors::clBtnFace), 15);
    EXPECT_FALSE(isSystemColor(colors::clWhite));
}

TEST(FloodFill, FillsOnlyTheFourConnectedAreaOfTheStartColour) {
    // A ring of 1s cuts the centre 0 off from the outer 0s; a diagonal gap does not connect.
    Canvas c(5, 5, 0);
    for (int i = 0; i < 5; ++i) {
        c.pixels[1 * 5 + i] = c.pixels[3 * 5 + i] = 1;
        c.pixels[i * 5 + 1] = c.pixels[i * 5 + 3] = 1;
    }
    EXPECT_EQ(floodFill(c.grid(), 2, 2, 0, 7), 1);
    EXPECT_EQ(c.at(2, 2), 7u);
    EXPECT_EQ(c.at(0, 0), 0u);
    EXPECT_EQ(c.at(4, 4), 0u);
}

TEST(FloodFill, ReachesRoundCornersAndHonoursTheStride) {
    // A U-shaped area: the fill must turn back upwards, which a single downward scan misses.
    Canvas c(6, 4, 9);
    const char* rows[] = {"0.0.0.", "0.0.0.", "0.0.0.", "000000"};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            c.pixels[y * 6 + x] = rows[y][x] == '0' ? 0u : 9u;
        }
    }
    PixelGrid narrow = c.grid();
    narrow.width = 5;  // the last column lies outside the grid
    EXPECT_EQ(floodFill(narrow, 0, 0, 0, 5), 14);
    EXPECT_EQ(c.at(4, 0), 5u);
    EXPECT_EQ(c.at(5, 3), 0u);
}

TEST(FloodFill, WrongStartColourOutsideOrSameColourChangeNothing) {
    Canvas c(3, 3, 4);
    EXPECT_EQ(floodFill(c.grid(), 1, 1, 5, 6), 0);
    EXPECT_EQ(floodFill(c.grid(), 3, 0, 4, 6), 0);
    EXPECT_EQ(floodFill(c.grid(), -1, 0, 4, 6), 0);
    EXPECT_EQ(floodFill(c.grid(), 1, 1, 4, 4), 0);
    EXPECT_EQ(c.at(1, 1), 4u);
}

TEST(FloodFill, LargeAreaNeedsNoDeepRecursion) {
    Canvas c(2000, 2000, 1);
    EXPECT_EQ(floodFill(c.grid(), 1000, 1000, 1, 2), 2000 * 2000);
}

TEST(SpinValue, ParsesPlainDecimalsOnly) {
    EXPECT_EQ(spin::parseInteger(u"007"), 7);
    EXPECT_EQ(spin::parseInteger(u"-5"), -5);
    EXPECT_EQ(spin::parseInteger(u"+12"), 12);
    EXPECT_EQ(spin::parseInteger(u"2147483647"), kMax);
    EXPECT_EQ(spin::parseInteger(u"-2147483648"), kMin);
    for (const char16_t* bad : {u"", u"-", u"+", u"1.5", u"2147483648", u"-2147483649",
                                u"99999999999999999999", u"12a", u" 1", u"--1"}) {
        EXPECT_EQ(spin::parseInteger(bad), std::nullopt) << QString::fromUtf16(bad).toStdString();
    }
}

TEST(SpinValue, ReadingANonNumberGivesMinValueUnbounded) {
    EXPECT_EQ(spin::readValue(u"", 3), 3);
    EXPECT_EQ(spin::readValue(u"3000000000", 0), 0);
    // Reading does not bound: a typed -5 in a box of 0..10 reads as -5.
    EXPECT_EQ(spin::readValue(u"-5", 0), -5);
}

TEST(SpinValue, BoundsApplyOnlyWhenMinAndMaxDiffer) {
    EXPECT_EQ(spin::boundValue(-5, 0, kMax), 0);
    EXPECT_EQ(spin::boundValue(50, 0, 10), 10);
    EXPECT_EQ(spin::boundValue(-5, 0, 0), -5);
    EXPECT_EQ(spin::boundValue(123456, 7, 7), 123456);
}

TEST(SpinValue, StepsHoldAtTheEndsOfThe32BitRange) {
    EXPECT_EQ(spin::stepValue(kMax, 1, true, 0, kMax), kMax);
    EXPECT_EQ(spin::stepValue(kMax, 1, true, 0, 0), kMax);
    EXPECT_EQ(spin::stepValue(kMin, 1, false, 0, 0), kMin);
    EXPECT_EQ(spin::stepValue(kMin, kMin, true, 0, 0), kMin);
    EXPECT_EQ(spin::stepValue(0, kMin, false, 0, 0), kMax);
    EXPECT_EQ(spin::stepValue(0, 1, false, 0, kMax), 0);
    EXPECT_EQ(spin::stepValue(5, 10, true, 0, 0), 15);
}

TEST(SpinValue, KeyCharacters) {
    const QChar dot(u'.');
    for (char16_t c : {u'0', u'9', u'+', u'-', u'.', char16_t{8}, char16_t{27}, char16_t{3}}) {
        EXPECT_TRUE(spin::isValidKeyChar(c, dot, true)) << int(c);
    }
    for (char16_t c : {u'a', u' ', u',', char16_t{13}, u'\u00e4', u'\u4e00'}) {
        EXPECT_FALSE(spin::isValidKeyChar(c, dot, true)) << int(c);
    }
    EXPECT_TRUE(spin::isValidKeyChar(u',', QChar(u','), true));
    // Editor disabled: no digits, no backspace; other control characters (Escape, Ctrl+C) pass.
    EXPECT_FALSE(spin::isValidKeyChar(u'5', dot, false));
    EXPECT_FALSE(spin::isValidKeyChar(char16_t{8}, dot, false));
    EXPECT_TRUE(spin::isValidKeyChar(char16_t{27}, dot, false));
    EXPECT_TRUE(spin::isValidKeyChar(char16_t{3}, dot, false));
}

TEST(SplashBlend, FormulaAtTheEdgesOfItsRange) {
    EXPECT_EQ(blendSplashByte(200, 100, 0), 200);
    // 255 leaves 1/256 of the screen: (40 * 1 + 250 * 255) / 256 = 249.2 -> 249.
    EXPECT_EQ(blendSplashByte(40, 250, 255), 249);
    EXPECT_EQ(blendSplashByte(255, 255, 255), 255);
    EXPECT_EQ(blendSplashByte(255, 0, 128), 127);
    // (255 * 187 + 0 * 69) / 256 = 186.26 -> 186: rounded down, never up.
    EXPECT_EQ(blendSplashByte(255, 0, 69), 186);
    for (int s = 0; s < 256; s += 15) {
        for (int m = 0; m < 256; m += 17) {
            for (int k = 0; k < 256; k += 51) {
                const unsigned expected = (unsigned(s) * (256 - k) + unsigned(m) * k) / 256;
                ASSERT_EQ(blendSplashByte(s, m, k), expected);
            }
        }
    }
}

TEST(SplashBlend, RowBlendsEveryByteAndStopsAtTheShortestSpan) {
    std::vector<std::uint8_t> screen{10, 20, 30, 40, 50, 60, 70};
    const std::vector<std::uint8_t> map{200, 200, 200, 200, 200, 200, 200};
    const std::vector<std::uint8_t> mask{0, 64, 128, 192, 255, 255};
    blendSplashRow(screen, map, mask);
    EXPECT_EQ(screen, (std::vector<std::uint8_t>{10, 65, 115, 160, 199, 199, 70}));
}

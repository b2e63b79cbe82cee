#include "tools/clipgen/frame_code.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<std::uint8_t> picture(std::int64_t frame, int width, int height) {
    std::vector<std::uint8_t> luma(static_cast<std::size_t>(width) * height);
    paintFrameCode(frame, luma.data(), width, height, width);
    return luma;
}

TEST(FrameCode, ReadsBackEveryBitPattern) {
    for (std::int64_t frame :
         std::vector<std::int64_t>{0, 1, 2, 255, 256, 4095, 123456, FrameCodeLimit - 1}) {
        const auto luma = picture(frame, 320, 240);
        EXPECT_EQ(readFrameCode(luma.data(), 320, 240, 320), frame);
    }
}

TEST(FrameCode, SurvivesNoiseAndNearestNeighbourScaling) {
    const auto luma = picture(777, 320, 240);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-40, 40);
    // Scaled to 768x576 (DV display size) with noise that lossy codecs leave.
    const int w = 768, h = 576;
    std::vector<std::uint8_t> scaled(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = luma[(y * 240 / h) * 320 + x * 320 / w] + noise(random);
            scaled[y * w + x] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
        }
    }
    EXPECT_EQ(readFrameCode(scaled.data(), w, h, w), 777);
}

TEST(FrameCode, RefusesPicturesWithoutAConsistentCode) {
    std::vector<std::uint8_t> grey(320 * 240, 128);
    EXPECT_EQ(readFrameCode(grey.data(), 320, 240, 320), std::nullopt);
    // A picture cut off halfway (a torn or half-decoded frame) breaks the inverted copy.
    auto torn = picture(0x5A5A5A, 320, 240);
    std::fill(torn.begin() + 320 * 60, torn.end(), 235);
    EXPECT_EQ(readFrameCode(torn.data(), 320, 240, 320), std::nullopt);
    EXPECT_EQ(readFrameCode(grey.data(), 16, 16, 16), std::nullopt);
}

}  // namespace

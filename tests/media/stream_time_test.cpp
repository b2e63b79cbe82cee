#include "media/stream_time.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr FrameRate Pal{25, 1};
constexpr FrameRate Ntsc{30000, 1001};

TEST(StreamTime, MapsEveryFrameBackToItselfAtFractionalRates) {
    for (const FrameRate rate : {Pal, Ntsc, FrameRate{30, 1}, FrameRate{24000, 1001}}) {
        for (std::int64_t frame = 0; frame < 5000; ++frame) {
            const std::int64_t seek = stream_time::seekTarget(frame, rate);
            ASSERT_EQ(stream_time::frameAt(seek, rate), frame) << rate.numerator;
            // A muxer may round a start up or down by a nanosecond; the target stays inside.
            ASSERT_GT(seek, stream_time::frameStart(frame, rate) + 1);
            ASSERT_LT(seek, stream_time::frameStart(frame + 1, rate) - 1);
            // The stop before a frame lies inside the frame before it.
            if (frame > 0) {
                const std::int64_t stop = stream_time::stopTarget(frame, rate);
                ASSERT_EQ(stream_time::frameAt(stop, rate), frame - 1);
                ASSERT_LT(stop, stream_time::frameStart(frame, rate) - 1);
            }
        }
    }
}

TEST(StreamTime, StartsFramesWhereMuxersDo) {
    EXPECT_EQ(stream_time::frameStart(25, Pal), 1'000'000'000);
    EXPECT_EQ(stream_time::frameStart(1, Ntsc), 33'366'666);
    EXPECT_EQ(stream_time::frameStart(30000, Ntsc), 1'001'000'000'000);
}

TEST(StreamTime, CountsFramesOfADurationToTheNearestFrame) {
    EXPECT_EQ(stream_time::framesIn(4'000'000'000, Pal), 100);
    // A duration a nanosecond short of 300 frames at 29.97 is still 300 frames.
    EXPECT_EQ(stream_time::framesIn(stream_time::frameStart(300, Ntsc) - 1, Ntsc), 300);
    EXPECT_EQ(stream_time::framesIn(0, Ntsc), 0);
}

TEST(StreamTime, StaysExactForDaysLongMediaAndClampsNegativeFrames) {
    const std::int64_t week = 7LL * 24 * 3600 * 30;  // frames at 30 fps
    EXPECT_EQ(stream_time::frameAt(stream_time::seekTarget(week, Ntsc), Ntsc), week);
    EXPECT_EQ(stream_time::frameStart(-5, Pal), 0);
    EXPECT_EQ(stream_time::stopTarget(0, Pal), 0);
    EXPECT_EQ(stream_time::frameAt(-1, Pal), 0);
}

TEST(StreamTime, SaturatesAtTheEndOfTheRangeInsteadOfOverflowing) {
    constexpr std::int64_t Latest = std::numeric_limits<std::int64_t>::max();
    for (const FrameRate rate : {Pal, Ntsc, FrameRate{1, 2147483647}}) {
        EXPECT_EQ(stream_time::frameStart(Latest, rate), Latest);
        EXPECT_EQ(stream_time::seekTarget(Latest, rate), Latest);
        EXPECT_LT(stream_time::stopTarget(Latest, rate), Latest);
        EXPECT_EQ(stream_time::seekTarget(std::numeric_limits<std::int64_t>::min(), rate),
                  stream_time::seekTarget(0, rate));
    }
    // "Pos " 3·10^11 on a sound file: 1.2·10^17 units of 100 ns.
    EXPECT_EQ(stream_time::fromHundredNs(300'000'000'000 * 400'000), Latest);
    EXPECT_EQ(stream_time::fromHundredNs(Latest), Latest);
    EXPECT_EQ(stream_time::fromHundredNs(std::numeric_limits<std::int64_t>::min()), 0);
    EXPECT_EQ(stream_time::fromHundredNs(400'000), 40'000'000);
}

}  // namespace

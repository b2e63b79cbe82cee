#include "app/join_cue.h"

#include <gtest/gtest.h>

namespace {

// A joining Slave cues the frame current a lead after now and starts the frame after it on the
// show's grid of frame times, never between two of them.
TEST(JoinCue, AJoinLandsOnTheShowsFrameGrid) {
    const JoinOrder order{1, 100, 1'000'000'000};  // frame 100 appeared at 1 s
    constexpr std::int64_t frame = 40'000'000;
    // 10.01 s + 0.5 s lead: 237.75 frames on; frame 337 is current, 338 comes at 10.52 s.
    const std::optional<JoinCue> cue = joinCue(order, 10'010'000'000, 500'000'000, frame);
    ASSERT_TRUE(cue);
    EXPECT_EQ(cue->frameFromIn, 337);
    EXPECT_EQ(cue->nextShownAtNs, 1'000'000'000 + 238 * frame);
    // Exactly on a frame's start, that frame is current.
    EXPECT_EQ(joinCue(order, 1'000'000'000 + 5 * frame, 0, frame)->frameFromIn, 105);
    // An order from the future (clocks that disagree) or without a frame rate places nothing.
    EXPECT_FALSE(joinCue(order, 0, 500'000'000, frame));
    EXPECT_FALSE(joinCue(order, 10'000'000'000, 0, 0));
}

// A Slave whose link came back tells the Master's frame from its own: only a frame either side
// of the show's current one is in step.
TEST(JoinCue, OnlyASlaveWithinAFrameOfTheShowIsOnItsFrame) {
    const JoinOrder order{2, 100, 1'000'000'000};
    constexpr std::int64_t frame = 40'000'000;
    constexpr std::int64_t now = 1'000'000'000 + 50 * frame + frame / 2;  // frame 150 is current
    EXPECT_TRUE(onShowFrame(order, now, frame, 150));
    EXPECT_TRUE(onShowFrame(order, now, frame, 149));
    EXPECT_TRUE(onShowFrame(order, now, frame, 151));
    EXPECT_FALSE(onShowFrame(order, now, frame, 148));
    EXPECT_FALSE(onShowFrame(order, now, frame, 152));
    // Frozen where the order's frame appeared, it is far behind; an order it cannot place says
    // nothing of its step.
    EXPECT_FALSE(onShowFrame(order, now, frame, 100));
    EXPECT_FALSE(onShowFrame(order, 0, frame, 100));
    EXPECT_FALSE(onShowFrame(order, now, 0, 150));
}

// A Slave whose clock jumped (its Master rebooted, forged time packets) reads a join as a show far
// in the past or the future; a join of a show that plays, or starts shortly, is no such sign.
TEST(JoinCue, AJoinFarFromTheClocksNowShowsAClockThatDisagrees) {
    constexpr std::int64_t frame = 40'000'000;
    constexpr std::int64_t skew = 5'000'000'000;
    constexpr std::int64_t now = 1'000'000'000'000;
    constexpr std::int64_t out = 750;  // 30 s of show
    const auto shownAgo = [&](std::int64_t ns) { return JoinOrder{1, 100, now - ns}; };
    EXPECT_FALSE(joinDisagreesWithClock(shownAgo(10'000'000'000), now, frame, out, skew));
    EXPECT_FALSE(joinDisagreesWithClock(shownAgo(-1'000'000'000), now, frame, out, skew));
    // By now 2 s past the Out point: a Master that stands there, within the skew.
    EXPECT_FALSE(joinDisagreesWithClock(shownAgo(28'000'000'000), now, frame, out, skew));
    EXPECT_TRUE(joinDisagreesWithClock(shownAgo(600'000'000'000), now, frame, out, skew));
    EXPECT_TRUE(joinDisagreesWithClock(shownAgo(-600'000'000'000), now, frame, out, skew));
    EXPECT_TRUE(joinDisagreesWithClock(JoinOrder{1, 100, INT64_MAX}, -now, frame, out, skew));
    EXPECT_FALSE(joinDisagreesWithClock(shownAgo(600'000'000'000), now, 0, out, skew));
}

}  // namespace

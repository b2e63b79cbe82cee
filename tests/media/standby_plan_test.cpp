// The standby's decisions without pipelines: when a graph may have one, when it is sent to the
// range named next, and when it is given up.
#include "media/standby_plan.h"

#include <gtest/gtest.h>

namespace {

constexpr SeekRange A{1'000'000'000, 2'000'000'000};
constexpr SeekRange B{3'000'000'000, -1};

TEST(StandbyPlan, OnlyVideoThatCountsFramesWithMemoryToSpareGetsAStandby) {
    const StandbyConditions fit{true, false, true, StandbyPlan::MinAvailableKiB};
    EXPECT_EQ(StandbyPlan::refusal(fit), nullptr);

    StandbyConditions c = fit;
    c.hasVideo = false;
    EXPECT_STREQ(StandbyPlan::refusal(c), "the media has no video");
    c = fit;
    c.savedGraph = true;
    EXPECT_STREQ(StandbyPlan::refusal(c), "a saved graph plays as written");
    c = fit;
    c.countsFrames = false;
    EXPECT_STREQ(StandbyPlan::refusal(c), "the video cannot count frames");
    c = fit;
    c.availableKiB = StandbyPlan::MinAvailableKiB - 1;
    EXPECT_STREQ(StandbyPlan::refusal(c), "memory is short");
    c.availableKiB.reset();
    EXPECT_STREQ(StandbyPlan::refusal(c), "memory is short");
}

TEST(StandbyPlan, APreparationUnderWayIsNotFlushedAndARangeIsSentOnce) {
    StandbyPlan plan;
    EXPECT_FALSE(plan.seekDue(true));
    EXPECT_TRUE(plan.setNext(A));
    EXPECT_FALSE(plan.setNext(A));
    EXPECT_FALSE(plan.seekDue(false)) << "sent while the standby still changes state";
    ASSERT_EQ(plan.seekDue(true), A);
    plan.sentTo(A);
    EXPECT_TRUE(plan.soughtNext());
    EXPECT_FALSE(plan.seekDue(true)) << "sent twice to the same range";

    // Named anew while the standby decodes its way to A: B waits until it settled.
    plan.setNext(B);
    EXPECT_FALSE(plan.soughtNext());
    EXPECT_FALSE(plan.seekDue(false));
    EXPECT_EQ(plan.seekDue(true), B);

    // A seek the pipeline refused leaves nothing sought, so the range is sent again.
    plan.sentTo(std::nullopt);
    EXPECT_EQ(plan.seekDue(true), B);

    plan.forget();
    EXPECT_FALSE(plan.hasNext());
    EXPECT_FALSE(plan.seekDue(true));
}

TEST(StandbyPlan, ThreeMissesInARowGiveUpAndAHitInBetweenForgivesThem) {
    StandbyPlan plan;
    EXPECT_FALSE(plan.miss());
    EXPECT_FALSE(plan.miss());
    plan.hit();
    EXPECT_FALSE(plan.miss());
    EXPECT_FALSE(plan.miss());
    EXPECT_TRUE(plan.miss());

    plan.restart();
    EXPECT_FALSE(plan.miss()) << "a new standby starts without misses";
}

}  // namespace

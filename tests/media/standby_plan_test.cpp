// The standby's decisions without pipelines: when a graph may have one, when it is sent to the
// range named next, and when it is given up.
#include "media/standby_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

constexpr SeekRange A{1'000'000'000, 2'000'000'000};
constexpr SeekRange B{3'000'000'000, -1};

// The reason, and whether it lasts as long as the file is open.
std::pair<std::string, bool> refusalOf(const StandbyConditions& conditions) {
    const auto refusal = StandbyPlan::refusal(conditions);
    return refusal ? std::pair(std::string(refusal->why), refusal->forGood)
                   : std::pair(std::string(), false);
}

TEST(StandbyPlan, OnlyVideoThatCountsFramesWithMemoryToSpareGetsAStandby) {
    const StandbyConditions fit{true, false, true, StandbyPlan::MinAvailableKiB};
    EXPECT_FALSE(StandbyPlan::refusal(fit));

    StandbyConditions c = fit;
    c.hasVideo = false;
    EXPECT_EQ(refusalOf(c), std::pair(std::string("the media has no video"), true));
    c = fit;
    c.savedGraph = true;
    EXPECT_EQ(refusalOf(c), std::pair(std::string("a saved graph plays as written"), true));
    c = fit;
    c.countsFrames = false;
    EXPECT_EQ(refusalOf(c), std::pair(std::string("the video cannot count frames"), true));
    // Memory comes back once a passing load is gone.
    c = fit;
    c.availableKiB = StandbyPlan::MinAvailableKiB - 1;
    EXPECT_EQ(refusalOf(c), std::pair(std::string("memory is short"), false));
    c.availableKiB.reset();
    EXPECT_EQ(refusalOf(c), std::pair(std::string("memory is short"), false));
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

TEST(StandbyPlan, AStandbyGivenUpIsTriedAgainLaterAndLaterUntilOneWorks) {
    using namespace std::chrono_literals;
    const StandbyPlan::Clock::time_point t0{};
    StandbyPlan plan(60s);
    EXPECT_TRUE(plan.mayTry(t0));
    EXPECT_FALSE(plan.retrying());

    plan.setNext(A);
    plan.giveUp(t0);
    EXPECT_FALSE(plan.hasNext()) << "a range named for a standby that went";
    EXPECT_FALSE(plan.mayTry(t0 + 59s));
    EXPECT_TRUE(plan.mayTry(t0 + 60s));
    EXPECT_TRUE(plan.retrying());

    // Given up again at once: a machine too slow for two pipelines pays less and less often.
    plan.giveUp(t0 + 60s);
    EXPECT_FALSE(plan.mayTry(t0 + 60s + 119s));
    EXPECT_TRUE(plan.mayTry(t0 + 60s + 120s));
    for (int i = 0; i < 10; ++i) {
        plan.giveUp(t0);
    }
    EXPECT_EQ(plan.retryDelay(), 60s * StandbyPlan::MaxRetryFactor);

    // One that is ready at a cue starts over.
    plan.hit();
    EXPECT_FALSE(plan.retrying());
    EXPECT_TRUE(plan.mayTry(t0));
    plan.giveUp(t0);
    EXPECT_EQ(plan.retryDelay(), 60s);

    // Refused for good is never tried again.
    plan.refuse();
    EXPECT_FALSE(plan.mayTry(t0 + 24h));
}

// While a cue waits for the standby, the controller already names the range after it: the
// standby must stay on the cued range, and go on to the named one once the cue is done.
TEST(StandbyPlan, ARangeNamedWhileACueWaitsIsPreparedAfterIt) {
    StandbyPlan plan;
    plan.setNext(A);
    plan.sentTo(A);
    plan.holdCue(A);
    EXPECT_FALSE(plan.setNext(B));
    EXPECT_TRUE(plan.prepares(A));
    EXPECT_FALSE(plan.seekDue(true));
    plan.releaseCue();
    EXPECT_FALSE(plan.heldCue());
    EXPECT_TRUE(plan.prepares(B));
    EXPECT_EQ(plan.seekDue(true), B);

    // Nothing named meanwhile: the cued range is consumed, nothing is prepared.
    plan.setNext(A);
    plan.holdCue(A);
    plan.releaseCue();
    EXPECT_FALSE(plan.hasNext());

    // Cleared meanwhile: likewise.
    plan.setNext(A);
    plan.holdCue(A);
    plan.clearNext();
    EXPECT_TRUE(plan.prepares(A));
    plan.releaseCue();
    EXPECT_FALSE(plan.hasNext());

    // Superseded by a newer cue: the held range stays prepared unless another was named.
    plan.setNext(A);
    plan.holdCue(A);
    plan.supersedeCue();
    EXPECT_TRUE(plan.prepares(A));
    plan.holdCue(A);
    plan.setNext(B);
    plan.supersedeCue();
    EXPECT_TRUE(plan.prepares(B));
}

}  // namespace

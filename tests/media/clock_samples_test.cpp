#include "media/clock_samples.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t Ms = 1'000'000;
using Verdict = ClockSamples::Verdict;

// One answer far off is noise or a stray packet and teaches nothing; a second that agrees with
// it is the Master's clock stepped, and the new offset is the one followed from then on.
TEST(ClockSamples, OneFarAnswerIsSkippedTwoAgreeingOnesAreAStepBackOrForward) {
    for (const std::int64_t step : {-600'000 * Ms, -86'400'000 * Ms, 600'000 * Ms, 250 * Ms}) {
        ClockSamples samples;
        EXPECT_EQ(samples.judge(5'000 * Ms, 1 * Ms), Verdict::Take);
        EXPECT_EQ(samples.judge(5'001 * Ms, 1 * Ms), Verdict::Take);
        EXPECT_EQ(samples.judge(5'001 * Ms + step, 1 * Ms), Verdict::Skip) << step;
        EXPECT_EQ(samples.judge(5'002 * Ms, 1 * Ms), Verdict::Take) << step;
        EXPECT_EQ(samples.judge(5'002 * Ms + step, 1 * Ms), Verdict::Skip) << step;
        EXPECT_EQ(samples.judge(5'003 * Ms + step, 1 * Ms), Verdict::Stepped) << step;
        EXPECT_EQ(samples.lastStepNs(), step + Ms);
        EXPECT_EQ(samples.judge(5'004 * Ms + step, 1 * Ms), Verdict::Take) << step;
        EXPECT_EQ(samples.offsetNs(), 5'004 * Ms + step);
    }
}

// An answer that took far longer than the recent best tells the offset badly.
TEST(ClockSamples, SlowAnswersAreSkippedAndAFarOneAmongThemIsNoStep) {
    ClockSamples samples;
    EXPECT_EQ(samples.judge(0, 2 * Ms), Verdict::Take);
    EXPECT_EQ(samples.judge(1 * Ms, 30 * Ms), Verdict::Skip);
    EXPECT_EQ(samples.judge(900 * Ms, 600 * Ms), Verdict::Skip);
    EXPECT_EQ(samples.judge(900 * Ms, 700 * Ms), Verdict::Skip);
    EXPECT_EQ(samples.judge(2 * Ms, 3 * Ms), Verdict::Take);
    EXPECT_EQ(samples.offsetNs(), 2 * Ms);
}

}  // namespace

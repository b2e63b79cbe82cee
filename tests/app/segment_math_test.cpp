#include "app/segment_math.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(SegmentMath, SegmentsRunFromSyncPointToSyncPointAfterTheInPoint) {
    const QStringList list{"50", "200"};
    EXPECT_EQ(segmentRange(list, 0, 100, 5000), (FrameRange{100, 150}));
    EXPECT_EQ(segmentRange(list, 1, 100, 5000), (FrameRange{150, 300}));
    EXPECT_EQ(segmentRange({}, -1, 100, 5000), (FrameRange{100, 5000}));
    // An index that names no item keeps whatever range was set.
    EXPECT_FALSE(segmentRange(list, 2, 100, 5000));
    EXPECT_FALSE(segmentRange(list, -1, 100, 5000));
}

TEST(SegmentMath, AFirstSyncPointAtZeroMakesNoEmptySegment) {
    const QStringList list{"0", "200"};
    EXPECT_EQ(effectiveSegmentIndex(list, 0), 1);
    EXPECT_EQ(segmentRange(list, effectiveSegmentIndex(list, 0), 100, 5000),
              (FrameRange{100, 300}));
    EXPECT_TRUE(listStartsAtInPoint(list));
    EXPECT_FALSE(listStartsAtInPoint({"00x"}));
    // A list of only "0": the effective index names no item.
    EXPECT_FALSE(segmentRange({"0"}, effectiveSegmentIndex({"0"}, 0), 100, 5000));
}

TEST(SegmentMath, TheNextRangeFollowsTheListAndLoopsOnlyWhenAsked) {
    const QStringList list{"50", "200", "300"};
    EXPECT_EQ(nextSegmentRange(list, -1, false, 100, 5000), (FrameRange{100, 150}));
    EXPECT_EQ(nextSegmentRange(list, 0, false, 100, 5000), (FrameRange{150, 300}));
    EXPECT_EQ(nextSegmentRange(list, 1, false, 100, 5000), (FrameRange{300, 400}));
    EXPECT_FALSE(nextSegmentRange(list, 2, false, 100, 5000));
    EXPECT_EQ(nextSegmentRange(list, 2, true, 100, 5000), (FrameRange{100, 150}));
    // A list starting at the In point loops to the segment ending at its second item.
    const QStringList fromIn{"0", "40", "90"};
    EXPECT_EQ(nextSegmentRange(fromIn, 2, true, 10, 5000), (FrameRange{10, 50}));
    EXPECT_EQ(nextSegmentRange(fromIn, -1, false, 10, 5000), (FrameRange{10, 50}));
    EXPECT_EQ(nextSegmentRange(fromIn, 1, false, 10, 5000), (FrameRange{50, 100}));
    // Without Sync points the show is the whole media from the In point, again and again.
    EXPECT_EQ(nextSegmentRange({}, -1, true, 10, 5000), (FrameRange{10, 5000}));
    EXPECT_FALSE(nextSegmentRange({}, -1, false, 10, 5000));
}

// Points past the end of the media: a range that begins there holds the last frame instead of
// seeking where nothing is (and completing at once); one that only ends there stops at the end.
TEST(SegmentMath, RangesAreFittedToTheMedia) {
    const FittedRange inside = fitToMedia({10, 250}, 250);
    EXPECT_EQ(inside.range, (FrameRange{10, 250}));
    EXPECT_FALSE(inside.startsPastEnd || inside.stopsPastEnd);
    const FittedRange longer = fitToMedia({200, 300}, 250);
    EXPECT_EQ(longer.range, (FrameRange{200, 250}));
    EXPECT_TRUE(longer.stopsPastEnd);
    EXPECT_FALSE(longer.startsPastEnd);
    for (const FrameRange past :
         {FrameRange{250, 260}, FrameRange{300, 250}, FrameRange{kMax, kMax}}) {
        const FittedRange fitted = fitToMedia(past, 250);
        EXPECT_EQ(fitted.range, (FrameRange{249, 250}));
        EXPECT_TRUE(fitted.startsPastEnd);
    }
    // Points from a link that lie before frame 0 or run backwards give the media no such range.
    EXPECT_EQ(fitToMedia({-5, 40}, 250).range, (FrameRange{0, 40}));
    EXPECT_EQ(fitToMedia({-10, -5}, 250).range, (FrameRange{0, 0}));
    EXPECT_EQ(fitToMedia({120, 100}, 250).range, (FrameRange{120, 120}));
    EXPECT_EQ(firstSegmentRange({"0", "40"}, 300, 250), (FrameRange{300, 340}));
    EXPECT_EQ(firstSegmentRange({}, 300, 250), (FrameRange{300, 250}));
}

TEST(SegmentMath, ItemsThatAreNoNumbersAreSkipped) {
    const QStringList list{"50", "abc", "200"};
    EXPECT_EQ(segmentRange(list, 1, 0, 5000), (FrameRange{50, 200}));
    EXPECT_EQ(segmentRange(list, 2, 0, 5000), (FrameRange{50, 200}));
    EXPECT_EQ(segmentRange({"x"}, 0, 10, 5000), (FrameRange{10, 5000}));
}

TEST(SegmentMath, SumsSaturateInsteadOfWrapping) {
    EXPECT_EQ(addFrames(kMax, 1), kMax);
    EXPECT_EQ(addFrames(kMin, -1), kMin);
    EXPECT_EQ(frameFromOffset(100, -5), 95);
    EXPECT_EQ(offsetFromIn(40, 100), -60);
    EXPECT_EQ(frameFromOffset(2147483647, kMax), kMax);
    EXPECT_EQ(offsetFromIn(kMin, 2147483647), kMin);
    EXPECT_EQ(segmentRange({"2147483647"}, 0, 2147483647, 0), (FrameRange{2147483647, 4294967294}));
}

TEST(SegmentMath, PositionBarAndStepping) {
    EXPECT_EQ(positionBarValue(1000, 2000), 500);
    EXPECT_EQ(frameOfPositionBar(250, 2000), 500);
    // Ties go to the even neighbour.
    EXPECT_EQ(positionBarValue(1, 2000), 0);
    EXPECT_EQ(positionBarValue(3, 2000), 2);
    EXPECT_EQ(frameOfPositionBar(1, 2500), 2);
    EXPECT_EQ(frameOfPositionBar(1000, kMax), kMax);
    EXPECT_EQ(positionBarValue(kMax, kMax), 1000);
    // Frame 2000 of 2000 frames is one past the last: nothing is there to show.
    EXPECT_EQ(stepTarget(1999, 1, 2000), 0);
    EXPECT_EQ(stepTarget(0, -1, 2000), 1999);
    EXPECT_EQ(stepTarget(10, 25, 2000), 35);
    EXPECT_EQ(stepTarget(kMax, 25, kMax), 0);
    EXPECT_EQ(clampFrame(-3, 2000), 0);
    EXPECT_EQ(clampFrame(2000, 2000), 1999);
    EXPECT_EQ(clampFrame(5, 0), 0);
}

TEST(SegmentMath, SetSyncInsertsOnlyBetweenItsNeighbours) {
    const QStringList list{"50", "200"};
    EXPECT_EQ(relativeToIn("180", 100), 80);
    EXPECT_EQ(syncPointInsertRow(list, 0, 80), 1);
    EXPECT_FALSE(syncPointInsertRow(list, 0, 300));
    EXPECT_FALSE(syncPointInsertRow(list, 0, 50));
    // Nothing selected: at the top, below the first item.
    EXPECT_EQ(syncPointInsertRow({"50"}, -1, 20), 0);
    EXPECT_FALSE(syncPointInsertRow({"50"}, -1, 60));
    EXPECT_EQ(syncPointInsertRow({}, -1, 0), 0);
    EXPECT_FALSE(syncPointInsertRow({}, -1, -1));
    // After the last item anything larger goes, up to the largest 32-bit number.
    EXPECT_EQ(syncPointInsertRow(list, 1, 2147483646), 2);
    EXPECT_FALSE(syncPointInsertRow(list, 1, 2147483647));
    // A frame box whose difference to the In point is no 32-bit number is refused.
    EXPECT_FALSE(relativeToIn("-2147483648", 1));
    EXPECT_FALSE(relativeToIn("12a", 0));
    EXPECT_FALSE(relativeToIn("5000000000", 0));
}

}  // namespace

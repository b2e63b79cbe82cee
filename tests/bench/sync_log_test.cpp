#include "sync_log.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<Event> eventsOf(const std::string& text) {
    std::istringstream log(text);
    return readEvents(log);
}

// A Master and two Slaves (Slave 2 with the In point 50) through the automatic start and one
// sync point, as their event logs tell it.
const char* const kMaster =
    "100.000000 2026-12-07T13:05:00.000 framelock.media opened /tmp/a.avi frames 260\r\n"
    "100.010000 2026-12-07T13:05:00.010 framelock.sync cued segment 0 frames 0 to 75\n"
    "100.020000 2026-12-07T13:05:00.020 framelock.media prerolled frame 0\n"
    "103.000000 2026-12-07T13:05:03.000 framelock.sync sent ClLi\n"
    "103.000100 2026-12-07T13:05:03.000 framelock.sync sent SeLi75\n"
    "103.400000 2026-12-07T13:05:03.400 framelock.sync sent Play\n"
    "103.401000 2026-12-07T13:05:03.401 framelock.media started frame 0\n"
    "106.400000 2026-12-07T13:05:06.400 framelock.sync sent DoNC1\n"
    "106.401000 2026-12-07T13:05:06.401 framelock.sync cued segment 1 frames 75 to 150\n"
    "106.406000 2026-12-07T13:05:06.406 framelock.media prerolled frame 75\n"
    "106.800000 2026-12-07T13:05:06.800 framelock.sync sent Play\n"
    "106.801000 2026-12-07T13:05:06.801 framelock.media started frame 75\n";

std::string slave(std::int64_t in, const std::string& secondStart) {
    const auto frame = [in](std::int64_t f) { return std::to_string(f + in); };
    return "100.030000 2026-12-07T13:05:00.030 framelock.media prerolled frame " + frame(0) +
           "\n"
           "103.400300 2026-12-07T13:05:03.400 framelock.sync received Play\n"
           "103.402000 2026-12-07T13:05:03.402 framelock.media started frame " +
           frame(0) +
           "\n"
           "106.400200 2026-12-07T13:05:06.400 framelock.sync received DoNC1\n" +
           secondStart;
}

std::string onTime(std::int64_t in, std::int64_t shown) {
    return "106.409000 2026-12-07T13:05:06.409 framelock.media prerolled frame " +
           std::to_string(75 + in) +
           "\n"
           "106.800200 2026-12-07T13:05:06.800 framelock.sync received Play\n"
           "106.804000 2026-12-07T13:05:06.804 framelock.media started frame " +
           std::to_string(shown + in) + "\n";
}

SyncReport show(const std::string& slave1, std::int64_t in2, const std::string& slave2) {
    return analyze({Instance{eventsOf(kMaster), 0}, Instance{eventsOf(slave1), 0},
                    Instance{eventsOf(slave2), in2}});
}

TEST(SyncLogTest, LinesSplitIntoClockCategoryAndMessageAndForeignLinesAreLeftOut) {
    const auto line = parseLogLine(
        "81234.567891 2026-12-07T13:05:01.123 framelock.net connected to 127.0.0.1:8234\r\n");
    ASSERT_TRUE(line);
    EXPECT_DOUBLE_EQ(line->monotonic, 81234.567891);
    EXPECT_EQ(line->category, "framelock.net");
    EXPECT_EQ(line->message, "connected to 127.0.0.1:8234");
    EXPECT_FALSE(parseLogLine("QStandardPaths: XDG_RUNTIME_DIR not set"));
    EXPECT_FALSE(parseLogLine("framelock.sync: segment 0 cued: frames 0 to 75"));
    EXPECT_FALSE(parseLogLine("81234.5x 2026-12-07T13:05:01.123 framelock.sync sent Play"));
    EXPECT_FALSE(parseLogLine("81234.5 2026-12-07T13:05:01.123 qt.qpa.xcb sent Play"));
}

TEST(SyncLogTest, OnlyStartsCuesAndFramesBecomeEvents) {
    const auto events = eventsOf(
        "1.0 w framelock.sync sent SeLi75\n"
        "2.0 w framelock.sync sent Pos -60\n"
        "3.0 w framelock.sync received DoNC12\n"
        "4.0 w framelock.sync cued segment 12 frames 925 to 1000\n"
        "5.0 w framelock.media prerolled frame 925\n"
        "6.0 w framelock.sync received Play\n"
        "7.0 w framelock.media started frame 925\n"
        "8.0 w framelock.media opened /tmp/x.avi frames 1000\n"
        "9.0 w framelock.sync received DoNCx\n"
        "10.0 w framelock.sync received PlayX\n");
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, EventKind::CueSignal);
    EXPECT_EQ(events[0].value, 12);
    EXPECT_DOUBLE_EQ(events[0].at, 3.0);
    EXPECT_EQ(events[1].kind, EventKind::Cued);
    EXPECT_EQ(events[1].value, 925);
    EXPECT_EQ(events[2].kind, EventKind::Prerolled);
    EXPECT_EQ(events[2].value, 925);
    EXPECT_EQ(events[3].kind, EventKind::StartSignal);
    EXPECT_EQ(events[4].kind, EventKind::Started);
    EXPECT_EQ(events[4].value, 925);
}

TEST(SyncLogTest, AStartAnnouncedOnTheSharedClockIsOneStartWhateverPlayFollows) {
    const auto events = eventsOf(
        "1.0 w framelock.sync received PlAt1050000000\n"
        "1.1 w framelock.media started frame 925\n"
        "1.2 w framelock.sync received Play\n"
        "3.0 w framelock.sync received Play\n");
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, EventKind::StartSignal);
    EXPECT_EQ(events[1].kind, EventKind::Started);
    // A "Play" with no announcement before it is a start of its own.
    EXPECT_EQ(events[2].kind, EventKind::StartSignal);
    EXPECT_DOUBLE_EQ(events[2].at, 3.0);
}

TEST(SyncLogTest, StartsInStepGiveSkewAndCueTimesAndNoMismatch) {
    const SyncReport report = show(slave(0, onTime(0, 75)), 50, slave(50, onTime(50, 75)));
    ASSERT_EQ(report.starts.size(), 2u);
    EXPECT_EQ(report.starts[1].expectedFrame, 75);
    EXPECT_EQ(report.mismatches, 0);
    EXPECT_EQ(report.missing, 0);
    EXPECT_EQ(report.stillCueing, 0);
    ASSERT_EQ(report.skews.size(), 2u);
    EXPECT_NEAR(report.skews[0], 0.001, 1e-9);  // 103.401 .. 103.402
    EXPECT_NEAR(report.skews[1], 0.003, 1e-9);  // 106.801 .. 106.804
    // The Master's cue from "sent DoNC1", each Slave's from "received DoNC1".
    ASSERT_EQ(report.cueTimes.size(), 3u);
    EXPECT_NEAR(report.cueTimes[0], 0.006, 1e-9);
    EXPECT_NEAR(report.cueTimes[1], 0.0088, 1e-9);
}

TEST(SyncLogTest, AFrameOtherThanTheSegmentsFirstCountsAsMismatchRelativeToTheInPoint) {
    // Slave 2 shows its file's frame 125, that is 75 after its In point: right. Slave 1 shows 76.
    const SyncReport report = show(slave(0, onTime(0, 76)), 50, slave(50, onTime(50, 75)));
    EXPECT_EQ(report.mismatches, 1);
    ASSERT_EQ(report.starts.size(), 2u);
    EXPECT_EQ(report.starts[1].shownFrame[1], 76);
    EXPECT_EQ(report.starts[1].shownFrame[2], 75);
}

TEST(SyncLogTest, ASlaveStillCueingWhenPlayCameIsCountedWithHowLateItStarted) {
    const std::string late =
        "106.800200 2026-12-07T13:05:06.800 framelock.sync received Play\n"
        "106.851000 2026-12-07T13:05:06.851 framelock.media started frame 75\n";
    const SyncReport report = show(slave(0, onTime(0, 75)), 0, slave(0, late));
    EXPECT_EQ(report.stillCueing, 1);
    ASSERT_EQ(report.lateness.size(), 1u);
    EXPECT_NEAR(report.lateness[0], 0.051, 1e-9);  // 106.851, the Master's "Play" at 106.800
    EXPECT_EQ(report.masterStillCueing, 0);
    // Its cue lasted until its first frame came, after the start.
    ASSERT_EQ(report.cueTimes.size(), 3u);
    EXPECT_NEAR(report.cueTimes[2], 0.4508, 1e-9);
    EXPECT_NEAR(report.skews[1], 0.05, 1e-9);
    EXPECT_EQ(report.mismatches, 0);
}

TEST(SyncLogTest, AStartAnInstanceNeverMadeIsMissingAndLeavesNoSkew) {
    // Slave 1 never got the second "Play" (say it was reconnecting).
    const SyncReport report = show(slave(0, ""), 0, slave(0, onTime(0, 75)));
    EXPECT_EQ(report.missing, 1);
    EXPECT_EQ(report.skews.size(), 1u);
    EXPECT_FALSE(report.starts[1].startedAt[1]);
}

TEST(SyncLogTest, FiguresAreMedianNearestRankP95AndMax) {
    std::vector<double> values;
    for (int i = 20; i >= 1; --i) {
        values.push_back(i);
    }
    const Figures f = figuresOf(values);
    EXPECT_DOUBLE_EQ(f.median, 10.5);
    EXPECT_DOUBLE_EQ(f.p95, 19);
    EXPECT_DOUBLE_EQ(f.max, 20);
    const Figures none = figuresOf({});
    EXPECT_DOUBLE_EQ(none.max, 0);
}

}  // namespace

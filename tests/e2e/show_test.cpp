// Whole shows across real processes: the built program, each instance in a directory of its own
// with real GStreamer on generated clips, linked over loopback TCP or through pseudo-terminal
// pairs, and driven through its windows as an operator would. What each screen showed is read
// from the instances' event logs (the frames their video sinks prerolled and started on), never
// from the commands that were sent.
#include "e2e/show_instance.h"
#include "serial/pty_pair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Three segments of 30 frames (1.2 s at 25 frames a second); the list begins at the In point, so
// every segment, the first of each loop included, starts at a sync point.
const QStringList SyncPoints{QStringLiteral("0"), QStringLiteral("30"), QStringLiteral("60"),
                             QStringLiteral("90")};
constexpr int SegmentsPerLoop = 3;
constexpr int ClipFrames = 100;
// One Slave's file begins earlier than the others': its In point skips the lead-in.
constexpr int LeadIn = 20;

using Frames = std::vector<std::pair<double, std::int64_t>>;

class Clips {
public:
    Clips() {
        makeClip(plain(), ClipFrames);
        makeClip(leadIn(), ClipFrames + LeadIn);
    }
    QString plain() const { return dir_.filePath(QStringLiteral("show.avi")); }
    QString leadIn() const { return dir_.filePath(QStringLiteral("lead-in.avi")); }

private:
    QTemporaryDir dir_;
};

ShowSettings masterSettings(const QString& clip) {
    ShowSettings s;
    s.master = true;
    s.clip = clip;
    s.syncPoints = SyncPoints;
    s.autoStart = true;
    return s;
}

ShowSettings slaveSettings(const QString& clip, int in) {
    ShowSettings s;
    s.master = false;
    s.clip = clip;
    s.in = in;
    // The list a Slave was set up with; the Master sends it again at every Start.
    s.syncPoints = SyncPoints;
    return s;
}

std::size_t count(const ShowInstance& instance, const QString& prefix, double after = 0) {
    std::size_t n = 0;
    for (const LogLine& line : instance.log()) {
        n += line.monotonic > after && line.message.startsWith(prefix) ? 1 : 0;
    }
    return n;
}

// Whether `own` holds a start on the frame of the Master's start `i`, between the Master's
// starts before and after it (`from` and the end of time at the edges): neighbouring segments
// begin on other frames, so the frame tells which segment a start belongs to, however late a
// loaded machine made it.
bool hasStart(const Frames& own, const Frames& master, std::size_t i, double from) {
    const double after = i > 0 ? master[i - 1].first : from;
    const double before =
        i + 1 < master.size() ? master[i + 1].first : std::numeric_limits<double>::infinity();
    return std::any_of(own.begin(), own.end(), [&](const auto& start) {
        return start.second == master[i].second && start.first > after && start.first < before;
    });
}

// The Master's first `segments` segment starts after `from`; every Slave must have started
// each of them on the same frame, relative to its In point. Returns those starts.
Frames expectFollowed(const ShowInstance& master, const std::vector<const ShowInstance*>& slaves,
                      double from, std::size_t segments) {
    const auto masterStarts = [&] { return master.frames(QStringLiteral("started frame"), from); };
    const bool played = waitUntil([&] { return masterStarts().size() >= segments; }, 90);
    Frames starts = masterStarts();
    EXPECT_TRUE(played) << "the Master started " << starts.size() << " segments\n"
                        << logOf(master).toStdString();
    starts.resize(std::min(starts.size(), segments));
    for (const ShowInstance* slave : slaves) {
        const auto followed = [&] {
            const Frames own = slave->frames(QStringLiteral("started frame"), from);
            const Frames master = masterStarts();
            for (std::size_t i = 0; i < starts.size(); ++i) {
                if (!hasStart(own, master, i, from)) {
                    return false;
                }
            }
            return true;
        };
        EXPECT_TRUE(waitUntil(followed, 10))
            << slave->name().toStdString() << " did not start every segment with the Master\n"
            << logsOf({&master, slave}).toStdString();
    }
    return starts;
}

// Two whole loops: every segment twice, each started together on the same frame.
void expectTwoLoops(const ShowInstance& master, const std::vector<const ShowInstance*>& slaves,
                    double from) {
    const Frames starts = expectFollowed(master, slaves, from, 2 * SegmentsPerLoop);
    for (int segment = 0; segment < SegmentsPerLoop; ++segment) {
        const std::int64_t first = SyncPoints[segment].toLongLong();
        EXPECT_EQ(std::count_if(starts.begin(), starts.end(),
                                [&](const auto& start) { return start.second == first; }),
                  2)
            << "segment from frame " << first << " in " << logOf(master).toStdString();
    }
}

// Every instance's sink holds `wanted` (relative to its In point): the last frame each prerolled
// after `after`.
void expectAllHold(const std::vector<const ShowInstance*>& instances, double after,
                   std::int64_t wanted, const char* what) {
    for (const ShowInstance* instance : instances) {
        const auto holds = [&] {
            const Frames held = instance->frames(QStringLiteral("prerolled frame"), after);
            return !held.empty() && held.back().second == wanted;
        };
        EXPECT_TRUE(waitUntil(holds, 15)) << what << ": " << instance->name().toStdString()
                                          << " does not hold frame " << wanted << "\n"
                                          << logsOf(instances).toStdString();
    }
}

unsigned long videoWindow(const ShowInstance& instance) {
    return desktop::findWindow(instance.pid(), QStringLiteral("frameLock PRO Video"));
}

bool allFullScreen(const std::vector<const ShowInstance*>& instances, bool on) {
    return std::all_of(instances.begin(), instances.end(), [&](const ShowInstance* instance) {
        const unsigned long window = videoWindow(*instance);
        return window != 0 && desktop::isFullScreen(window) == on;
    });
}

QString windowsOf(const std::vector<const ShowInstance*>& instances) {
    QString text;
    for (const ShowInstance* instance : instances) {
        const unsigned long window = videoWindow(*instance);
        text += instance->name() + QStringLiteral(": video window ") + QString::number(window) +
                QLatin1Char(' ') +
                desktop::geometry(window).replace(QLatin1Char('\n'), QLatin1Char(' ')) +
                QLatin1Char('\n');
    }
    return text;
}

// The operator's controls on the Master, each of which must reach every Slave's screen: Stop in
// the middle of a segment, Rewind, a step of 25 frames, full screen on and left again by a
// double click on the Master's picture, and Start from where they all stand.
void expectControlsReachSlaves(const ShowInstance& master,
                               const std::vector<const ShowInstance*>& slaves) {
    std::vector<const ShowInstance*> all{&master};
    all.insert(all.end(), slaves.begin(), slaves.end());
    const unsigned long mainWindow =
        desktop::findWindow(master.pid(), QStringLiteral("frameLock PRO"));
    ASSERT_NE(mainWindow, 0u);

    // Stop, just after a segment started: every sink holds a frame of that segment.
    const auto started = master.waitFor(QStringLiteral("started frame"), monotonicNow(), 30);
    ASSERT_TRUE(started);
    const double stopAt = monotonicNow();
    desktop::pressKey(mainWindow, QStringLiteral("F2"));
    ASSERT_TRUE(master.waitFor(QStringLiteral("prerolled frame"), stopAt, 15))
        << logOf(master).toStdString();
    const std::int64_t segmentStart =
        master.frames(QStringLiteral("started frame"), stopAt - 30).back().second;
    for (const ShowInstance* slave : slaves) {
        const auto stopped = [&] {
            const Frames held = slave->frames(QStringLiteral("prerolled frame"), stopAt);
            return !held.empty() && held.back().second >= segmentStart &&
                   held.back().second < segmentStart + 30;
        };
        EXPECT_TRUE(waitUntil(stopped, 15))
            << "Stop: " << slave->name().toStdString() << " did not stop in the segment from "
            << segmentStart << "\n"
            << logsOf({&master, slave}).toStdString();
    }

    const double rewindAt = monotonicNow();
    desktop::pressKey(mainWindow, QStringLiteral("F3"));
    expectAllHold(all, rewindAt, 0, "Rewind");

    const double stepAt = monotonicNow();
    desktop::pressKey(mainWindow, QStringLiteral("F6"));
    expectAllHold(all, stepAt, 25, "Step of 25 frames");

    desktop::pressKey(mainWindow, QStringLiteral("F4"));
    EXPECT_TRUE(waitUntil([&] { return allFullScreen(all, true); }, 15))
        << "F4 did not take every video window to full screen\n"
        << windowsOf(all).toStdString() << logsOf(all).toStdString();
    desktop::doubleClick(videoWindow(master));
    EXPECT_TRUE(waitUntil([&] { return allFullScreen(all, false); }, 15))
        << "the double click did not leave full screen everywhere\n"
        << windowsOf(all).toStdString();

    const double startAt = monotonicNow();
    desktop::pressKey(mainWindow, QStringLiteral("F1"));
    for (const ShowInstance* instance : all) {
        const auto started25 = [&] {
            const Frames starts = instance->frames(QStringLiteral("started frame"), startAt);
            return !starts.empty() && starts.front().second == 25;
        };
        EXPECT_TRUE(waitUntil(started25, 15))
            << "Start: " << instance->name().toStdString() << " did not start on frame 25\n"
            << logsOf(all).toStdString();
    }
}

// Each instance ends cleanly when a service manager stops it, without a sanitizer's report.
void expectCleanEnds(const std::vector<ShowInstance*>& instances) {
    for (ShowInstance* instance : instances) {
        EXPECT_EQ(instance->stop(), 0) << instance->output().toStdString();
        EXPECT_FALSE(instance->output().contains(QStringLiteral("Sanitizer")))
            << instance->output().toStdString();
    }
}

TEST(Show, LanMasterLeadsTwoSlavesThroughTwoLoopsAndEveryControl) {
    const Clips clips;
    const quint16 port = freePort();
    ShowSettings m = masterSettings(clips.plain());
    ShowSettings s1 = slaveSettings(clips.plain(), 0);
    ShowSettings s2 = slaveSettings(clips.leadIn(), LeadIn);
    m.port = s1.port = s2.port = port;
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave1(QStringLiteral("Slave 1"), s1);
    ShowInstance slave2(QStringLiteral("Slave 2"), s2);
    master.start();
    ASSERT_TRUE(master.waitFor(QStringLiteral("listening on port"), 0, 30))
        << logOf(master).toStdString();
    slave1.start();
    slave2.start();
    ASSERT_TRUE(
        waitUntil([&] { return count(master, QStringLiteral("slave connected")) >= 2; }, 30))
        << logsOf({&master, &slave1, &slave2}).toStdString();
    // The show may have begun before both were there: from the next sync point on, both follow.
    const auto cue = master.waitFor(QStringLiteral("sent DoNC"), monotonicNow(), 30);
    ASSERT_TRUE(cue) << logOf(master).toStdString();
    expectTwoLoops(master, {&slave1, &slave2}, cue->monotonic);
    expectControlsReachSlaves(master, {&slave1, &slave2});
    expectCleanEnds({&master, &slave1, &slave2});
}

TEST(Show, ComChainCarriesTheShowThroughBothSlaves) {
    const Clips clips;
    const NullModem first;
    const NullModem second;
    ASSERT_TRUE(first.ok() && second.ok());
    ShowSettings m = masterSettings(clips.plain());
    m.lan = false;
    m.com1 = 1;
    m.com1Path = first.pathA();
    // Each Slave receives on COM1 and repeats on COM2; the last one's COM2 goes nowhere.
    ShowSettings s1 = slaveSettings(clips.leadIn(), LeadIn);
    s1.lan = false;
    s1.com1 = 1;
    s1.com2 = 2;
    s1.com1Path = first.pathB();
    s1.com2Path = second.pathA();
    ShowSettings s2 = slaveSettings(clips.plain(), 0);
    s2.lan = false;
    s2.com1 = 1;
    s2.com1Path = second.pathB();
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave1(QStringLiteral("Slave 1"), s1);
    ShowInstance slave2(QStringLiteral("Slave 2"), s2);
    slave1.start();
    slave2.start();
    for (const ShowInstance* slave : {&slave1, &slave2}) {
        ASSERT_TRUE(slave->waitFor(QStringLiteral("opened COM1"), 0, 30))
            << logOf(*slave).toStdString();
    }
    ASSERT_TRUE(slave1.waitFor(QStringLiteral("opened COM2"), 0, 30))
        << logOf(slave1).toStdString();
    master.start();
    const auto cue = master.waitFor(QStringLiteral("sent DoNC"), 0, 30);
    ASSERT_TRUE(cue) << logOf(master).toStdString();
    expectTwoLoops(master, {&slave1, &slave2}, cue->monotonic);
    expectControlsReachSlaves(master, {&slave1, &slave2});
    expectCleanEnds({&master, &slave1, &slave2});
}

TEST(Show, SlavesWaitForALateMasterAndARestartedSlaveRejoins) {
    const Clips clips;
    const quint16 port = freePort();
    ShowSettings m = masterSettings(clips.plain());
    ShowSettings s1 = slaveSettings(clips.plain(), 0);
    ShowSettings s2 = slaveSettings(clips.leadIn(), LeadIn);
    m.port = s1.port = s2.port = port;
    // The program's own retry time.
    s1.retryMs = s2.retryMs = 2000;
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave1(QStringLiteral("Slave 1"), s1);
    ShowInstance slave2(QStringLiteral("Slave 2"), s2);
    slave1.start();
    slave2.start();
    for (const ShowInstance* slave : {&slave1, &slave2}) {
        ASSERT_TRUE(slave->waitFor(QStringLiteral("error"), 0, 30))
            << slave->name().toStdString() << " found a Master before there was one\n"
            << logOf(*slave).toStdString();
    }
    master.start();
    const auto listening = master.waitFor(QStringLiteral("listening on port"), 0, 30);
    ASSERT_TRUE(listening) << logOf(master).toStdString();
    double bothConnected = 0;
    for (const ShowInstance* slave : {&slave1, &slave2}) {
        const auto connected =
            slave->waitFor(QStringLiteral("connected to"), listening->monotonic, 2.0 + 10);
        ASSERT_TRUE(connected) << logsOf({&master, slave}).toStdString();
        bothConnected = std::max(bothConnected, connected->monotonic);
    }
    // The next Start both were there for: the automatic start's list, or a sync point.
    const auto list = master.waitFor(QStringLiteral("sent ClLi"), bothConnected, 0);
    const auto cue = list ? list : master.waitFor(QStringLiteral("sent DoNC"), bothConnected, 30);
    ASSERT_TRUE(cue) << logOf(master).toStdString();
    const double showFrom = cue->monotonic;
    expectFollowed(master, {&slave1, &slave2}, showFrom, SegmentsPerLoop);

    // Slave 2 dies in the middle of a segment and comes back.
    ASSERT_TRUE(master.waitFor(QStringLiteral("started frame"), monotonicNow(), 30));
    slave2.kill();
    const double restartAt = monotonicNow();
    slave2.start();
    const auto back = slave2.waitFor(QStringLiteral("connected to"), restartAt, 30);
    ASSERT_TRUE(back) << logsOf({&master, &slave2}).toStdString();
    const auto rejoin = master.waitFor(QStringLiteral("sent DoNC"), back->monotonic, 30);
    ASSERT_TRUE(rejoin) << logOf(master).toStdString();
    const Frames rejoined = expectFollowed(master, {&slave2}, rejoin->monotonic, SegmentsPerLoop);
    ASSERT_FALSE(rejoined.empty());

    // Slave 1 never lost a segment, before, during or after the other's restart.
    const std::size_t all = master.frames(QStringLiteral("started frame"), showFrom).size();
    expectFollowed(master, {&slave1}, showFrom, all);
    expectCleanEnds({&master, &slave1, &slave2});
}

// After a power cut of the Master its Slaves stand where the show left them: cued on a later
// segment, or holding at its end. The Master comes back on its first segment and starts by
// itself; every screen must start that segment with it, not its own.
TEST(Show, AfterAPowerCutOfTheMasterEveryScreenStartsItsFirstSegment) {
    const Clips clips;
    const quint16 port = freePort();
    ShowSettings m = masterSettings(clips.plain());
    // Time for the Slaves to find the Master again before it starts.
    m.openTimerMs = 3000;
    ShowSettings s1 = slaveSettings(clips.plain(), 0);
    ShowSettings s2 = slaveSettings(clips.leadIn(), LeadIn);
    m.port = s1.port = s2.port = port;
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave1(QStringLiteral("Slave 1"), s1);
    ShowInstance slave2(QStringLiteral("Slave 2"), s2);
    slave1.start();
    slave2.start();
    master.start();
    ASSERT_TRUE(
        waitUntil([&] { return count(master, QStringLiteral("slave connected")) >= 2; }, 30))
        << logsOf({&master, &slave1, &slave2}).toStdString();
    const auto cue = master.waitFor(QStringLiteral("sent DoNC2"), 0, 60);
    ASSERT_TRUE(cue) << logOf(master).toStdString();
    // The power goes once the cue has reached the Slaves: "sent" is logged when the command is
    // handed to the link, which a kill at once could still cut off.
    for (const ShowInstance* slave : {&slave1, &slave2}) {
        ASSERT_TRUE(slave->waitFor(QStringLiteral("received DoNC2"), cue->monotonic - 1, 10))
            << logOf(*slave).toStdString();
    }
    master.kill();
    const double restartAt = monotonicNow();
    master.start();
    expectFollowed(master, {&slave1, &slave2}, restartAt, 2);
    expectCleanEnds({&master, &slave1, &slave2});
}

}  // namespace

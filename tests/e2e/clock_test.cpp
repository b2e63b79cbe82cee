// Shows on the shared clock across real program processes under Xvfb: what the screens show is
// read from their pixels (every clip carries its frame number as a code), all windows in one
// grab of the X server, so one instant for all of them.
#include "e2e/screen_frames.h"
#include "e2e/show_instance.h"

#include "app/receive_assembler.h"
#include "app/sync_command.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

ShowSettings settingsFor(bool master, const QString& clip, quint16 port,
                         const QStringList& syncPoints) {
    ShowSettings s;
    s.master = master;
    s.clip = clip;
    s.port = port;
    s.syncPoints = syncPoints;
    s.autoStart = master;
    // Long enough for the Slaves' clocks to settle before the first start.
    s.openTimerMs = 4000;
    return s;
}

// An instance started while the others' video windows stand in their places would cover one
// of them with its main window: that goes below the row of video windows.
void moveMainWindowBelow(const ShowInstance& instance) {
    unsigned long window = 0;
    waitUntil(
        [&] {
            return (window =
                        desktop::findWindow(instance.pid(), QStringLiteral("frameLock PRO"))) != 0;
        },
        30);
    if (window != 0) {
        desktop::move(window, 0, 400);
    }
}

double meanFrames(const std::vector<std::int64_t>& lags) {
    return lags.empty()
               ? 0
               : static_cast<double>(std::accumulate(lags.begin(), lags.end(), std::int64_t{0})) /
                     static_cast<double>(lags.size());
}

// Grabs the screens until every other window has shown the first one's frame (within one) in
// `inARow` grabs in a row: the time of the first of them, or none within `seconds`.
std::optional<double> inStep(const std::vector<QRect>& windows, int inARow, double seconds) {
    int row = 0;
    double since = 0;
    waitUntil(
        [&] {
            const auto frames = framesOnScreen(windows);
            const bool same = std::all_of(frames.begin(), frames.end(), [&](const auto& frame) {
                return frame && frames[0] && std::abs(*frame - *frames[0]) <= 1;
            });
            row = same ? row + 1 : 0;
            if (row == 1) {
                since = monotonicNow();
            }
            return row >= inARow;
        },
        seconds);
    return row >= inARow ? std::optional<double>(since) : std::nullopt;
}

// The lines logged after `after` that hold `text`.
int countLines(const ShowInstance& instance, const QString& text, double after) {
    const auto lines = instance.log();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const LogLine& line) {
        return line.monotonic > after && line.message.contains(text);
    }));
}

// A Master whose clock runs 3000 ppm fast (four to five frames a minute) leads two shows side
// by side through a segment of a minute: one without the shared clock, whose Slave ends frames
// behind, and one with it, whose Slave stays on the Master's frame. The Master drifts, not the
// Slave, because a network clock follows the machine's monotonic clock and not a diagnostic clock
// of its own process.
TEST(SharedClock, HoldsASlaveToADriftingMasterThroughALongSegment) {
    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("minute.avi"));
    makeClip(clip, 1560);
    const QStringList syncPoints{QStringLiteral("0"), QStringLiteral("1525")};
    ShowSettings ownMaster = settingsFor(true, clip, freePort(), syncPoints);
    ShowSettings ownSlave = settingsFor(false, clip, ownMaster.port, syncPoints);
    ownMaster.clockPort = ownSlave.clockPort = 0;
    ShowSettings sharedMaster = settingsFor(true, clip, freePort(), syncPoints);
    ShowSettings sharedSlave = settingsFor(false, clip, sharedMaster.port, syncPoints);
    ownMaster.driftPpm = sharedMaster.driftPpm = 3000;
    ShowInstance m1(QStringLiteral("Master without"), ownMaster);
    ShowInstance s1(QStringLiteral("Slave without"), ownSlave);
    ShowInstance m2(QStringLiteral("Master with"), sharedMaster);
    ShowInstance s2(QStringLiteral("Slave with"), sharedSlave);
    s1.start();
    s2.start();
    m1.start();
    m2.start();
    const std::vector<QRect> windows{placeVideo(m1, 0, 0), placeVideo(s1, 340, 0),
                                     placeVideo(m2, 0, 260), placeVideo(s2, 340, 260)};
    for (const QRect& window : windows) {
        ASSERT_FALSE(window.isEmpty()) << logsOf({&m1, &s1, &m2, &s2}).toStdString();
    }
    const auto settled = s2.waitFor(QStringLiteral("shared clock settled"), 0, 30);
    ASSERT_TRUE(settled) << logsOf({&m2, &s2}).toStdString();
    std::optional<LogLine> started[2];
    for (int i = 0; i < 2; ++i) {
        started[i] = (i == 0 ? m1 : m2).waitFor(QStringLiteral("started frame 0"), 0, 30);
        ASSERT_TRUE(started[i]) << logsOf({&m1, &m2}).toStdString();
    }
    ASSERT_LT(settled->monotonic, started[1]->monotonic) << logsOf({&m2, &s2}).toStdString();

    // The last seconds before the segment's end at 61 s (frame 1525); on a loaded machine the
    // grabs may run past it, and what they see of the next segment does not count.
    const double from = std::max(started[0]->monotonic, started[1]->monotonic) + 56;
    waitUntil([&] { return monotonicNow() >= from; }, 70);
    const auto lags = lagSamples(windows, {{0, 1}, {2, 3}}, 40, 1375);
    ASSERT_GE(lags[0].size(), 30u) << logsOf({&m1, &s1}).toStdString();
    ASSERT_GE(lags[1].size(), 30u) << logsOf({&m2, &s2}).toStdString();
    EXPECT_GE(meanFrames(lags[0]), 2.0)
        << "without the shared clock the Slave should be behind: " << listed(lags[0]);
    for (const std::int64_t lag : lags[1]) {
        EXPECT_LE(std::abs(lag), 1) << listed(lags[1]);
    }
}

// A Slave killed in the middle of a two-minute segment and started again comes back on the
// Master's frame in that segment; the other Slave hears and does nothing of it.
TEST(SharedClock, ARestartedSlaveJoinsTheRunningSegmentAndTheOtherSeesNothing) {
    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("two-minutes.avi"));
    makeClip(clip, 3100);
    const QStringList syncPoints{QStringLiteral("0"), QStringLiteral("3000")};
    const ShowSettings m = settingsFor(true, clip, freePort(), syncPoints);
    ShowSettings s = settingsFor(false, clip, m.port, syncPoints);
    s.retryMs = 500;
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave1(QStringLiteral("Slave 1"), s);
    ShowInstance slave2(QStringLiteral("Slave 2"), s);
    slave1.start();
    slave2.start();
    master.start();
    const auto started = master.waitFor(QStringLiteral("started frame 0"), 0, 30);
    ASSERT_TRUE(started) << logOf(master).toStdString();
    std::vector<QRect> windows{placeVideo(master, 0, 0), placeVideo(slave1, 340, 0)};

    waitUntil([&] { return monotonicNow() >= started->monotonic + 20; }, 30);
    const double killedAt = monotonicNow();
    slave2.kill();
    slave2.start();
    windows.push_back(placeVideo(slave2, 680, 0));
    for (const QRect& window : windows) {
        ASSERT_FALSE(window.isEmpty()) << logsOf({&master, &slave1, &slave2}).toStdString();
    }
    // Well inside the segment, which runs for 100 s more.
    ASSERT_TRUE(inStep(windows, 10, 60)) << logsOf({&master, &slave2}).toStdString();
    const auto lags = lagSamples(windows, {{0, 2}, {0, 1}}, 10);
    ASSERT_EQ(lags[0].size(), 10u) << logsOf({&master, &slave2}).toStdString();
    ASSERT_EQ(lags[1].size(), 10u) << logsOf({&master, &slave1}).toStdString();
    for (const std::int64_t lag : lags[0]) {
        EXPECT_LE(std::abs(lag), 1) << "the restarted Slave: " << listed(lags[0])
                                    << logsOf({&master, &slave2}).toStdString();
    }
    for (const std::int64_t lag : lags[1]) {
        EXPECT_LE(std::abs(lag), 1) << "the other Slave: " << listed(lags[1]);
    }
    // The Master lists the newcomer (the first new line after the kill) as playing the running
    // segment, as the other Slave.
    QString newcomer;
    QString joinedLine;
    for (const LogLine& line : master.log()) {
        const QString address = line.message.section(QLatin1Char(' '), 1, 1);
        if (line.monotonic > killedAt && line.category == "framelock.sync" &&
            line.message.startsWith(QStringLiteral("slave 127.")) &&
            !line.message.endsWith(QStringLiteral(" gone")) &&
            (newcomer.isEmpty() || address == newcomer)) {
            newcomer = address;
            joinedLine = line.message;
        }
    }
    EXPECT_TRUE(joinedLine.contains(QStringLiteral(" \u25B6 "))) << logOf(master).toStdString();
    for (const LogLine& line : slave1.log()) {
        if (line.monotonic > killedAt) {
            EXPECT_FALSE(line.message.startsWith(QStringLiteral("received")) ||
                         line.message.contains(QStringLiteral(" frame ")))
                << "the other Slave was disturbed: " << line.message.toStdString();
        }
    }
}

// What a Slave of an older version takes from a Master on the shared clock: every command is
// one it knows, or one its command table ignores, and each "Play" comes at least a sync time
// after the cue. A Slave whose clock cannot be reached says so once and starts at "Play".
class OlderSlave {
public:
    explicit OlderSlave(quint16 port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~OlderSlave() { close(fd_); }
    OlderSlave(const OlderSlave&) = delete;
    OlderSlave& operator=(const OlderSlave&) = delete;

    bool connected() const { return connected_; }
    void read() {
        char buffer[4096];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            assembler_.Receive(QByteArrayView(buffer, n));
        }
    }
    // Known commands with their arrival, and the codes the table did not know.
    std::vector<std::pair<double, QByteArray>> known;
    std::vector<QByteArray> ignored;

private:
    // The command table of the version before the shared clock, spelled out here on purpose:
    // today's table knows more.
    static constexpr std::array<const char*, 16> OlderCodes = {
        "Play", "Stop", "Rewi", "ReSt", "Ful1", "Ful0", "FSc1", "FSc0",
        "LUSA", "LGer", "Rep1", "Rep0", "Pos ", "ClLi", "SeLi", "DoNC"};

    int fd_;
    bool connected_ = false;
    ReceiveAssembler assembler_{[this](const QByteArray& command) {
        const QByteArray code = command.left(4);
        const bool knows = std::any_of(OlderCodes.begin(), OlderCodes.end(),
                                       [&](const char* c) { return code == c; });
        if (knows) {
            known.emplace_back(monotonicNow(), code);
        } else {
            ignored.push_back(code);
        }
    }};
};

TEST(SharedClock, SlavesWithoutTheSharedClockStillStartAtPlayWithTheMaster) {
    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("short.avi"));
    makeClip(clip, 100);
    ShowSettings m = settingsFor(true, clip, freePort(),
                                 {QStringLiteral("0"), QStringLiteral("30"), QStringLiteral("60")});
    m.openTimerMs = 1000;
    ShowSettings s = settingsFor(false, clip, m.port, m.syncPoints);
    // Where no Master publishes a clock: as if the firewall let no UDP through.
    s.clockPort = freePort();
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance unclocked(QStringLiteral("Slave without the clock"), s);
    master.start();
    ASSERT_TRUE(master.waitFor(QStringLiteral("listening on port"), 0, 30));
    OlderSlave older(m.port);
    ASSERT_TRUE(older.connected());
    unclocked.start();
    const auto plays = [&] {
        older.read();
        return std::count_if(older.known.begin(), older.known.end(),
                             [](const auto& c) { return c.second == "Play"; });
    };
    // The older Slave reads all along, so that each command's arrival is its own.
    std::optional<LogLine> unreachable;
    const auto played = [&] {
        if (!unreachable) {
            unreachable = unclocked.find(QStringLiteral("shared clock not reached"));
        }
        return plays() >= 4 && unreachable && older.known.back().first > unreachable->monotonic + 3;
    };
    ASSERT_TRUE(waitUntil(played, 60)) << logsOf({&master, &unclocked}).toStdString();
    const double after = unreachable->monotonic;
    ASSERT_TRUE(master.find(QStringLiteral("start at"))) << logOf(master).toStdString();

    // The Master's hello on connecting, then nothing but the shared clock's start times.
    ASSERT_GT(older.ignored.size(), 1u);
    EXPECT_EQ(older.ignored.front(), SyncCode::Hello);
    for (std::size_t i = 1; i < older.ignored.size(); ++i) {
        EXPECT_EQ(older.ignored[i], "PlAt") << "a command unknown to an older Slave";
    }
    EXPECT_EQ(older.known.front().second, "ClLi");
    int cues = 0;
    for (std::size_t i = 0; i < older.known.size(); ++i) {
        if (older.known[i].second != "DoNC") {
            continue;
        }
        const auto play =
            std::find_if(older.known.begin() + static_cast<std::ptrdiff_t>(i), older.known.end(),
                         [](const auto& c) { return c.second == "Play"; });
        // The last cue's "Play" may not have come yet when reading stopped.
        if (play != older.known.end()) {
            ++cues;
        }
    }
    EXPECT_GE(cues, 3);
    const auto said = unclocked.log();
    EXPECT_EQ(std::count_if(said.begin(), said.end(),
                            [](const LogLine& line) {
                                return line.message.startsWith(QStringLiteral("shared clock not"));
                            }),
              1);
    // The Master's starts since then are the unclocked Slave's too, one by one on the same frame,
    // so each "Play" came when the Slave had its cue.
    const auto own = unclocked.frames(QStringLiteral("started frame"), after);
    const auto masters = master.frames(QStringLiteral("started frame"), after);
    ASSERT_GE(masters.size(), 2u);
    const auto first = std::find_if(own.begin(), own.end(), [&](const auto& mine) {
        return mine.first >= masters.front().first - 1 && mine.second == masters.front().second;
    });
    ASSERT_GE(own.end() - first, static_cast<std::ptrdiff_t>(masters.size()) - 1)
        << logsOf({&master, &unclocked}).toStdString();
    for (std::size_t i = 0; i + 1 < masters.size(); ++i) {
        EXPECT_EQ(first[static_cast<std::ptrdiff_t>(i)].second, masters[i].second)
            << "start " << i << logsOf({&master, &unclocked}).toStdString();
    }
}

// A Master killed and started again on a machine whose monotonic clock is 600 s behind (rebooted,
// or another machine put in its place). Each Slave drops the clock it learnt, once, plays on
// its own meanwhile, and is back on the Master's frame, starting on a new shared clock.
TEST(SharedClock, AMasterRestartedWithItsClockBehindLeadsItsSlavesAgain) {
    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("segments.avi"));
    makeClip(clip, 400);
    const QStringList syncPoints{QStringLiteral("0"), QStringLiteral("100"), QStringLiteral("200"),
                                 QStringLiteral("300")};
    const ShowSettings m = settingsFor(true, clip, freePort(), syncPoints);
    const ShowSettings s = settingsFor(false, clip, m.port, syncPoints);
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave1(QStringLiteral("Slave 1"), s);
    ShowInstance slave2(QStringLiteral("Slave 2"), s);
    slave1.start();
    slave2.start();
    master.start();
    std::vector<QRect> windows{placeVideo(master, 0, 0), placeVideo(slave1, 340, 0),
                               placeVideo(slave2, 680, 0)};
    for (const QRect& window : windows) {
        ASSERT_FALSE(window.isEmpty()) << logsOf({&master, &slave1, &slave2}).toStdString();
    }
    ASSERT_TRUE(master.waitFor(QStringLiteral("start at"), 0, 30)) << logOf(master).toStdString();
    ASSERT_TRUE(inStep(windows, 10, 30)) << logsOf({&master, &slave1, &slave2}).toStdString();

    master.kill();
    const double restartedAt = monotonicNow();
    master.startWithClockBehind(600);
    moveMainWindowBelow(master);
    windows[0] = placeVideo(master, 0, 0);
    ASSERT_FALSE(windows[0].isEmpty()) << logOf(master).toStdString();
    const std::optional<double> back = inStep(windows, 10, 90);
    ASSERT_TRUE(back) << logsOf({&master, &slave1, &slave2}).toStdString();
    testing::Test::RecordProperty("seconds_to_every_screen_on_the_masters_frame",
                                  std::to_string(*back - restartedAt));
    for (const ShowInstance* slave : {&slave1, &slave2}) {
        const auto dropped =
            slave->waitFor(QStringLiteral("shared clock dropped"), restartedAt, 30);
        ASSERT_TRUE(dropped) << logOf(*slave).toStdString();
        EXPECT_TRUE(waitUntil(
            [&] {
                return countLines(*slave, QStringLiteral("ns on the shared clock: in"),
                                  dropped->monotonic) > 0;
            },
            60))
            << "no start on the new shared clock" << logOf(*slave).toStdString();
    }
    const auto lags = lagSamples(windows, {{0, 1}, {0, 2}}, 20);
    for (const auto& pair : lags) {
        ASSERT_EQ(pair.size(), 20u) << logsOf({&master, &slave1, &slave2}).toStdString();
        for (const std::int64_t lag : pair) {
            EXPECT_LE(std::abs(lag), 1) << listed(pair);
        }
    }
    for (const ShowInstance* slave : {&slave1, &slave2}) {
        EXPECT_EQ(countLines(*slave, QStringLiteral("shared clock dropped"), restartedAt), 1)
            << logOf(*slave).toStdString();
    }
}

}  // namespace

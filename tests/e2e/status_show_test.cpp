// The Slaves' status on the Master, across real processes: what the Master's list and check at
// Start say about Slaves whose files do not fit the show, what each line says once the show
// runs, a Slave that dies and comes back, the show report, and a peer that floods reports.
#include "e2e/held_link.h"
#include "e2e/show_instance.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

namespace {

const QStringList SyncPoints{QStringLiteral("0"), QStringLiteral("30"), QStringLiteral("60"),
                             QStringLiteral("90")};

void makeClipAt(const QString& path, int frames, const QString& fps) {
    QProcess clipgen;
    clipgen.start(
        QStringLiteral(FL_CLIPGEN),
        {QStringLiteral("mjpeg-avi"), path, QStringLiteral("--size"), QStringLiteral("320x240"),
         QStringLiteral("--fps"), fps, QStringLiteral("--frames"), QString::number(frames)});
    ASSERT_TRUE(clipgen.waitForFinished(60000) && clipgen.exitCode() == 0)
        << clipgen.readAllStandardError().toStdString();
}

ShowSettings settingsFor(bool master, const QString& clip, quint16 port) {
    ShowSettings s;
    s.master = master;
    s.clip = clip;
    s.port = port;
    s.syncPoints = SyncPoints;
    s.autoStart = master;
    return s;
}

// The Master's status lines ("slave <address>  <state>") logged after `after`.
QStringList slaveLines(const ShowInstance& master, double after = 0) {
    QStringList lines;
    for (const LogLine& line : master.log()) {
        if (line.monotonic > after && line.category == QLatin1String("framelock.sync") &&
            line.message.startsWith(QLatin1String("slave "))) {
            lines << line.message.mid(6);
        }
    }
    return lines;
}

// The lines about the Slave at `address` (followed by its name, if it gave one).
QStringList linesOf(const ShowInstance& master, const QString& address, double after) {
    QStringList lines;
    for (const QString& line : slaveLines(master, after)) {
        if (line.startsWith(address + QLatin1Char(' '))) {
            lines << line;
        }
    }
    return lines;
}

// The address of the first line that holds `text`.
QString addressWith(const ShowInstance& master, const QString& text, double after = 0) {
    for (const QString& line : slaveLines(master, after)) {
        if (line.contains(text)) {
            return line.section(QLatin1Char(' '), 0, 0);
        }
    }
    return {};
}

bool logged(const ShowInstance& master, const QString& prefix, const QString& text,
            double after = 0) {
    for (const LogLine& line : master.log()) {
        if (line.monotonic > after && line.message.startsWith(prefix) &&
            line.message.contains(text)) {
            return true;
        }
    }
    return false;
}

TEST(StatusShow, MasterNamesSlavesThatDoNotFitAndFollowsEachThroughTheShow) {
    const QTemporaryDir clips;
    const QString plain = clips.filePath(QStringLiteral("plain.avi"));
    const QString shortClip = clips.filePath(QStringLiteral("short.avi"));
    const QString fast = clips.filePath(QStringLiteral("fast.avi"));
    makeClipAt(plain, 100, QStringLiteral("25/1"));
    makeClipAt(shortClip, 75, QStringLiteral("25/1"));
    makeClipAt(fast, 100, QStringLiteral("30/1"));
    const quint16 port = freePort();
    ShowSettings m = settingsFor(true, plain, port);
    // Time for both Slaves to connect and report before the automatic Start.
    m.openTimerMs = 8000;
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance shortSlave(QStringLiteral("Short"), settingsFor(false, shortClip, port));
    ShowInstance fastSlave(QStringLiteral("Fast"), settingsFor(false, fast, port));
    master.start();
    ASSERT_TRUE(master.waitFor(QStringLiteral("listening on port"), 0, 30))
        << logOf(master).toStdString();
    shortSlave.start();
    fastSlave.start();

    const QString tooShort = QStringLiteral("file too short for Sync point 90");
    const QString otherRate = QStringLiteral("30 fps \u2260 25 fps");
    ASSERT_TRUE(waitUntil(
        [&] {
            return !addressWith(master, tooShort).isEmpty() &&
                   !addressWith(master, otherRate).isEmpty();
        },
        30))
        << logOf(master).toStdString();
    const QString shortAddress = addressWith(master, tooShort);
    const QString fastAddress = addressWith(master, otherRate);
    ASSERT_NE(shortAddress, fastAddress) << logOf(master).toStdString();
    const auto list = master.waitFor(QStringLiteral("sent ClLi"), 0, 30);
    ASSERT_TRUE(list) << logOf(master).toStdString();
    // Both problems were on the list before the Start, and the check at Start names them.
    EXPECT_TRUE(logged(master, QStringLiteral("check at Start: ") + shortAddress, tooShort))
        << logOf(master).toStdString();
    EXPECT_TRUE(logged(master, QStringLiteral("check at Start: ") + fastAddress, otherRate))
        << logOf(master).toStdString();

    // Once running, every line tells its segment and the frame it started on (from its In
    // point), the same frame the Master started on.
    const auto cue = master.waitFor(QStringLiteral("sent DoNC2"), list->monotonic, 30);
    ASSERT_TRUE(cue) << logOf(master).toStdString();
    for (const QString& address : {shortAddress, fastAddress}) {
        const QString playing = QStringLiteral("  seg 2 \u25B6 30");
        EXPECT_TRUE(waitUntil(
            [&] { return !linesOf(master, address, cue->monotonic).filter(playing).isEmpty(); },
            15))
            << playing.toStdString() << "\n"
            << logOf(master).toStdString();
    }

    // A Slave that dies leaves the list; started again it is back with a line of its own.
    const double killedAt = monotonicNow();
    fastSlave.kill();
    EXPECT_TRUE(waitUntil(
        [&] {
            return !linesOf(master, fastAddress, killedAt)
                        .filter(QStringLiteral(" gone"))
                        .isEmpty();
        },
        30))
        << logOf(master).toStdString();
    fastSlave.start();
    EXPECT_TRUE(waitUntil(
        [&] {
            const QStringList back = slaveLines(master, killedAt).filter(otherRate);
            return std::any_of(back.begin(), back.end(), [&](const QString& line) {
                return line.contains(QStringLiteral("seg "));
            });
        },
        60))
        << logOf(master).toStdString();

    // The show report: one line per start, each with every instance's started frame.
    // Two more starts with both Slaves back, however quickly the restarted one came in.
    double after = monotonicNow();
    for (int cue = 0; cue < 3; ++cue) {
        const auto laterCue = master.waitFor(QStringLiteral("sent DoNC"), after, 30);
        ASSERT_TRUE(laterCue) << logOf(master).toStdString();
        after = laterCue->monotonic;
    }
    master.stop();
    QFile report(master.dir() + QStringLiteral("/frameLock-show.csv"));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::size_t starts = 0;
    for (const LogLine& line : master.log()) {
        starts += line.message == QLatin1String("sent Play") ? 1 : 0;
    }
    EXPECT_EQ(static_cast<std::size_t>(lines.size()), starts)
        << lines.join(QLatin1Char('\n')).toStdString();
    const QRegularExpression complete(
        QStringLiteral(R"(^\S+ \S+,(\d),Master,(\d+),0,([^,]+),\2,-?\d+,([^,]+),\2,-?\d+$)"));
    int full = 0;
    for (const QString& line : lines) {
        full += complete.match(line).hasMatch() ? 1 : 0;
    }
    EXPECT_GE(full, 3) << lines.join(QLatin1Char('\n')).toStdString()
                       << logsOf({&master, &shortSlave, &fastSlave}).toStdString();
}

// A Slave started on the shared clock hears "Play" only a frame before the start, on a loaded
// machine after it: it tells its Master the frame it started on, not the one it has reached
// when "Play" comes, and it was not still cueing.
TEST(StatusShow, ASlaveThatHearsPlayLateReportsTheFrameItStartedOn) {
    const QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("plain.avi"));
    makeClipAt(clip, 100, QStringLiteral("25/1"));
    const quint16 port = freePort();
    ShowSettings m = settingsFor(true, clip, port);
    m.openTimerMs = 4000;
    HeldLink link(port);
    link.delayPlay(300);
    link.open();
    ShowSettings s = settingsFor(false, clip, link.port());
    s.clockPort = port;
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave(QStringLiteral("Slave"), s);
    master.start();
    ASSERT_TRUE(master.waitFor(QStringLiteral("listening on port"), 0, 30))
        << logOf(master).toStdString();
    slave.start();

    const auto cue = slave.waitFor(QStringLiteral("received DoNC2"), 0, 60);
    ASSERT_TRUE(cue) << logsOf({&master, &slave}).toStdString();
    const auto timed = slave.waitFor(QStringLiteral("start at"), cue->monotonic, 15);
    const auto play = slave.waitFor(QStringLiteral("received Play"), cue->monotonic, 15);
    ASSERT_TRUE(timed && play) << logOf(slave).toStdString();
    // Started on the shared clock, and "Play" came well after that start.
    ASSERT_TRUE(timed->message.contains(QStringLiteral("on the shared clock")))
        << logOf(slave).toStdString();
    ASSERT_GT(play->monotonic - timed->monotonic, 0.2) << logOf(slave).toStdString();

    const auto sent = master.find(QStringLiteral("sent DoNC2"));
    ASSERT_TRUE(sent);
    EXPECT_TRUE(waitUntil(
        [&] {
            return !slaveLines(master, sent->monotonic)
                        .filter(QStringLiteral("  seg 2 \u25B6 "))
                        .isEmpty();
        },
        15))
        << logOf(master).toStdString();
    const QStringList lines = slaveLines(master, sent->monotonic);
    const QStringList playing = lines.filter(QStringLiteral("  seg 2 \u25B6 "));
    ASSERT_FALSE(playing.isEmpty()) << logsOf({&master, &slave}).toStdString();
    EXPECT_TRUE(playing.front().contains(QStringLiteral("  seg 2 \u25B6 30")))
        << logsOf({&master, &slave}).toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral("still cueing")).isEmpty())
        << logsOf({&master, &slave}).toStdString();
}

// A Slave whose process stops is "not responding" on the Master, and one whose pipeline stalls
// (the backend's test hook holds frames back from its sink) is "frozen"; each is back in step
// once it recovers. The Slave is named in every line. The Master's own stalled picture is told
// too.
TEST(StatusShow, ASlaveThatStopsOrFreezesIsToldAndBackOnceItRecovers) {
    const QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("long.avi"));
    // One long segment, so that a stall or a stop falls inside it.
    makeClipAt(clip, 1500, QStringLiteral("25/1"));
    const quint16 port = freePort();
    ShowSettings m = settingsFor(true, clip, port);
    m.syncPoints = {QStringLiteral("0"), QStringLiteral("1400")};
    m.openTimerMs = 4000;
    ShowSettings s = settingsFor(false, clip, port);
    s.syncPoints = m.syncPoints;
    s.titleSuffix = QStringLiteral("Left wall");
    ShowInstance master(QStringLiteral("Master"), m);
    ShowInstance slave(QStringLiteral("Slave"), s);
    const QString stall = clips.filePath(QStringLiteral("stall"));
    slave.setEnvironment(QStringLiteral("FL_TEST_SINK_STALL_FILE"), stall);
    const QString masterStall = clips.filePath(QStringLiteral("master-stall"));
    master.setEnvironment(QStringLiteral("FL_TEST_SINK_STALL_FILE"), masterStall);
    master.start();
    ASSERT_TRUE(master.waitFor(QStringLiteral("listening on port"), 0, 30))
        << logOf(master).toStdString();
    slave.start();

    const QString named = QStringLiteral(" (Left wall)  ");
    const auto lineWith = [&](const QString& text, double after) {
        return waitUntil(
            [&] { return !slaveLines(master, after).filter(named).filter(text).isEmpty(); }, 30);
    };
    const QString inStep = QStringLiteral("seg 1 \u25B6 0 \u2713");
    ASSERT_TRUE(lineWith(inStep, 0)) << logsOf({&master, &slave}).toStdString();

    const double stopped = monotonicNow();
    slave.signal(SIGSTOP);
    EXPECT_TRUE(lineWith(QStringLiteral("not responding"), stopped)) << logOf(master).toStdString();
    const double continued = monotonicNow();
    slave.signal(SIGCONT);
    EXPECT_TRUE(lineWith(inStep, continued)) << logsOf({&master, &slave}).toStdString();

    const double stalled = monotonicNow();
    QFile(stall).open(QIODevice::WriteOnly);
    EXPECT_TRUE(lineWith(QStringLiteral("frozen"), stalled))
        << logsOf({&master, &slave}).toStdString();
    // Frozen is no silence: the Slave was heard all along.
    EXPECT_FALSE(slaveLines(master, stalled).join('\n').contains(QStringLiteral("not responding")))
        << logOf(master).toStdString();
    const double released = monotonicNow();
    QFile::remove(stall);
    EXPECT_TRUE(lineWith(QStringLiteral("\u2713"), released))
        << logsOf({&master, &slave}).toStdString();

    // The Master watches its own picture the same way.
    const double masterStalled = monotonicNow();
    QFile(masterStall).open(QIODevice::WriteOnly);
    EXPECT_TRUE(master.waitFor(QStringLiteral("master frozen"), masterStalled, 30))
        << logOf(master).toStdString();
    const double masterReleased = monotonicNow();
    QFile::remove(masterStall);
    EXPECT_TRUE(master.waitFor(QStringLiteral("master picture moves again"), masterReleased, 30))
        << logOf(master).toStdString();
}

TEST(StatusShow, AFloodOfReportsFromAPeerDoesNotDisturbTheShow) {
    const QTemporaryDir clips;
    const QString plain = clips.filePath(QStringLiteral("plain.avi"));
    makeClipAt(plain, 100, QStringLiteral("25/1"));
    const quint16 port = freePort();
    ShowSettings m = settingsFor(true, plain, port);
    ShowInstance master(QStringLiteral("Master"), m);
    master.start();
    ASSERT_TRUE(master.waitFor(QStringLiteral("listening on port"), 0, 30))
        << logOf(master).toStdString();
    const RawPeer peer = RawPeer::connectTo(port);
    const auto firstStart = master.waitFor(QStringLiteral("started frame"), 0, 30);
    ASSERT_TRUE(firstStart) << logOf(master).toStdString();
    const double from = monotonicNow();
    // Valid reports, malformed ones and command codes hidden in a report's text, again and
    // again, as fast as the socket takes them.
    const QByteArray burst =
        "_sInf1|a%5FStop%2A.avi|100|25|1|320|240|0|x*_sStacued|1|0|||0|0|1*_sStaplay|x*"
        "_sErr%ZZ*_sInf1|b|1|2*_sSta" +
        QByteArray(700, 'x') + "*";
    QByteArray flood;
    while (flood.size() < 4 << 20) {
        flood += burst;
    }
    peer.send(flood);
    // The show goes on: the Master starts segment after segment as before.
    const auto later = [&] {
        return master.frames(QStringLiteral("started frame"), from).size() >= 3;
    };
    EXPECT_TRUE(waitUntil(later, 60)) << logOf(master).toStdString();
    // Nothing of it was run as a command, and the valid report is on the peer's line.
    EXPECT_FALSE(logged(master, QStringLiteral("received"), QString()))
        << logOf(master).toStdString();
    EXPECT_TRUE(logged(master, QStringLiteral("slave 127.0.0.1:"), QStringLiteral("cued 1")))
        << logOf(master).toStdString();
}

}  // namespace

// The status back channel between real main windows on loopback: a Slave reports, the Master
// lists it and keeps the show report; and what many connections of one host cost the log.
#include "media/fake_media_service.h"
#include "media/media_service.h"
#include "net/host_log_budget.h"
#include "net/loopback.h"
#include "support/log_capture.h"
#include "support/qt_printers.h"
#include "support/test_clock.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QRegularExpression>

namespace {

// Sets where both media stand, and once the Slave has taken a command that moves it, a few
// frames further on: the pictures run, so each instance can tell when its picture started.
struct TwoWindows {
    WindowHarness& master;
    WindowHarness& slave;

    void standAt(std::int64_t frame) {
        master.media().config.position = frame;
        slave.media().config.position = frame;
    }
    qsizetype slaveCalls(const QString& call) const { return slave.mediaLog->filter(call).size(); }
    // The Slave reads where it starts as it takes the command that makes the call: only then
    // may the media move on.
    void runOnOnceTheSlaveMade(const QString& call, qsizetype before, std::int64_t frame) {
        ASSERT_TRUE(waitFor([&] { return slaveCalls(call) > before; }));
        standAt(frame + 5);
    }
    QString slaveLine() const { return master.ui().lbConnected->item(slaveRow())->text(); }
    int slaveRow() const {
        const auto* list = master.ui().lbConnected;
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->text().contains(QStringLiteral("seg "))) {
                return row;
            }
        }
        return 0;
    }
    QStringList reportLines() const {
        QFile report(master.programDir() + QStringLiteral("frameLock-show.csv"));
        return report.open(QIODevice::ReadOnly) ? QString::fromUtf8(report.readAll())
                                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                                : QStringList();
    }
};

// Loop over Sync points that do not begin at 0: at the Out point every instance goes back to the
// In point while its media runs on. The Slave must say it plays the first segment from its
// first frame, and the report must have that start too, with a column for each Slave that
// reports and none for a connection that does not (the tap).
TEST(WindowStatus, AfterALoopWrapTheSlaveIsListedAndReportedOnTheFirstSegmentsStart) {
    WindowSettings masterSettings;
    masterSettings.syncPoints = {QStringLiteral("100"), QStringLiteral("200")};
    masterSettings.syncTimeMs = 20;
    masterSettings.more = {QStringLiteral("cbRepeat_Checked=True")};
    TappedMaster m(masterSettings);
    WindowSettings slaveSettings;
    slaveSettings.master = false;
    slaveSettings.port = m.port;
    WindowHarness slave(slaveSettings.text());
    slave.show();
    ASSERT_TRUE(waitFor([&] { return m.h.ui().lbConnected->count() == 2; }));
    TwoWindows show{m.h, slave};
    m.h.media().config.rate = {25, 1};
    slave.media().config.rate = {25, 1};

    const QString run = QStringLiteral("run");
    const QString seek = QStringLiteral("setPositions");
    show.standAt(0);
    qsizetype runs = show.slaveCalls(run);
    m.h.ui().bPlay->click();
    show.runOnOnceTheSlaveMade(run, runs, 0);
    ASSERT_TRUE(waitFor([&] {
        return show.slaveLine().contains(QStringLiteral("seg 0 \u25B6 0"));
    })) << show.slaveLine().toStdString();

    show.standAt(100);
    runs = show.slaveCalls(run);
    m.h.media().queueEvent(EC_COMPLETE);
    show.runOnOnceTheSlaveMade(run, runs, 100);
    ASSERT_TRUE(waitFor([&] {
        return show.slaveLine().contains(QStringLiteral("seg 1 \u25B6 100"));
    })) << show.slaveLine().toStdString();

    // At the Out point; read at once, the position may still be there after the seek back.
    show.standAt(200);
    const qsizetype seeks = show.slaveCalls(seek);
    m.h.media().queueEvent(EC_COMPLETE);
    ASSERT_TRUE(waitFor([&] { return m.tap->commands().contains(QStringLiteral("ReSt")); }));
    show.runOnOnceTheSlaveMade(seek, seeks, 0);
    EXPECT_TRUE(waitFor([&] {
        return show.slaveLine().contains(QStringLiteral("seg 0 \u25B6 0"));
    })) << show.slaveLine().toStdString();
    // A start's line is written once every instance has reported it.
    EXPECT_TRUE(waitFor([&] { return show.reportLines().size() == 3; }));
    m.h.close();

    const QStringList lines = show.reportLines();
    // time, segment, then the Master and the one Slave that reports: address with the name it
    // gave once it beat, frame, late.
    const QRegularExpression start(QStringLiteral(
        R"(^[^,]+,(\d),Master,(\d+),0?,127\.0\.0\.1:\d+(?: \([^,]+\))?,(\d+),-?\d*$)"));
    QStringList starts;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = start.match(line);
        starts << (match.hasMatch() ? match.captured(1) + QLatin1Char('@') + match.captured(3)
                                    : line);
    }
    EXPECT_EQ(starts, QStringList({"0@0", "1@100", "0@0"}))
        << lines.join(QLatin1Char('\n')).toStdString();
}

// A host the Master does not obey connects again and again: the log gets a burst of lines about
// it and then, once the second is over, their count, for its links and for its status lines.
TEST(WindowStatus, AHostThatConnectsWithoutEndCostsTheLogAFewLinesASecond) {
    WindowSettings settings;
    settings.port = freePort();
    settings.more = {QStringLiteral("Server_CommandHosts=10.9.9.9")};
    WindowHarness h(settings.text());
    h.show();
    TestClock clock;
    const LogCapture log(QStringLiteral("framelock.net.info=true\nframelock.sync.info=true"));
    static const QRegularExpression aboutTheHost(
        QStringLiteral("^framelock\\.(net|sync): .*127\\.0\\.0\\.1"));
    constexpr int Connects = 200;
    for (int i = 0; i < Connects; ++i) {
        RawPeer peer = RawPeer::connectTo(settings.port);
        ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));
        // Read, so that the peer's end is an orderly one.
        ASSERT_EQ(peer.readExactly(masterHello().size()), masterHello());
    }
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 0; }));
    const QStringList burst = log.lines().filter(aboutTheHost);
    clock.advance(HostLogBudget::PeriodMs);
    const auto counts = [&] { return log.lines(QStringLiteral(" more lines ")); };
    EXPECT_TRUE(waitFor([&] { return counts().size() == 2; }));

    EXPECT_EQ(burst.size(), 2 * HostLogBudget::Burst) << burst.join('\n').toStdString();
    // Connected and disconnected; the line of each connection and its going.
    const int rest = 2 * Connects - HostLogBudget::Burst;
    QStringList said = counts();
    said.sort();
    ASSERT_EQ(said.size(), 2);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("framelock.net: 127.0.0.1: %1 more lines in the "
                                                  "last second, the last: slave disconnected ")
                                       .arg(rest)))
        << said[0].toStdString();
    EXPECT_TRUE(said[1].startsWith(
        QStringLiteral("framelock.sync: 127.0.0.1: %1 more lines in the last second, the last: "
                       "slave 127.0.0.1:")
            .arg(rest)))
        << said[1].toStdString();
}

}  // namespace

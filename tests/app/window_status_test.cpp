// The status back channel between real main windows on loopback: a Slave reports, the Master
// lists it and keeps the show report; and what many connections of one host cost the log.
#include "app/monotonic_time.h"
#include "media/fake_media_service.h"
#include "media/media_service.h"
#include "net/host_log_budget.h"
#include "net/loopback.h"
#include "net/simple_tcp_server.h"
#include "support/qt_printers.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>

namespace {

QStringList withPoints(QStringList lines, const QStringList& points) {
    lines << QStringLiteral("[System.lbCut_Items]")
          << QStringLiteral("Count=%1").arg(points.size());
    for (int i = 0; i < points.size(); ++i) {
        lines << QStringLiteral("Item%1=%2").arg(i).arg(points[i]);
    }
    return lines;
}

// Sets where both media stand, and once the starts are taken, a few frames further on: the
// pictures run, so each instance can tell when its picture started.
struct TwoWindows {
    WindowHarness& master;
    WindowHarness& slave;

    void standAt(std::int64_t frame) {
        master.media().config.position = frame;
        slave.media().config.position = frame;
    }
    void runOn(std::int64_t frame) {
        settle(100);
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
};

// Loop over Sync points that do not begin at 0: at the Out point every instance goes back to the
// In point while its media runs on. The Slave must say it plays the first segment from its
// first frame, and the report must have that start too, with a column for each Slave that
// reports and none for a connection that does not.
TEST(WindowStatus, AfterALoopWrapTheSlaveIsListedAndReportedOnTheFirstSegmentsStart) {
    const quint16 port = freePort();
    const QStringList points{QStringLiteral("100"), QStringLiteral("200")};
    WindowHarness master(systemSection(withPoints(
        {QStringLiteral("Server_Port=%1").arg(port), QStringLiteral("ComportsNr_ktBoolean=False"),
         QStringLiteral("StartTimer_Interval=20"), QStringLiteral("cbRepeat_Checked=True"),
         QStringLiteral("eFilename_Text=clip.avi")},
        points)));
    master.show();
    WindowHarness slave(systemSection(
        {QStringLiteral("rbMaster_Checked=False"), QStringLiteral("rbSlave_Checked=True"),
         QStringLiteral("Client_Port=%1").arg(port), QStringLiteral("ComportsNr_ktBoolean=False"),
         QStringLiteral("eFilename_Text=clip.avi")}));
    slave.show();
    WireTap remote(port);
    ASSERT_TRUE(waitFor([&] { return master.ui().lbConnected->count() == 2; }));
    TwoWindows show{master, slave};
    master.media().config.rate = {25, 1};
    slave.media().config.rate = {25, 1};

    show.standAt(0);
    master.ui().bPlay->click();
    ASSERT_TRUE(waitFor([&] { return remote.commands().contains(QStringLiteral("Play")); }));
    show.runOn(0);
    ASSERT_TRUE(waitFor([&] {
        return show.slaveLine().contains(QStringLiteral("seg 0 \u25B6 0"));
    })) << show.slaveLine().toStdString();

    show.standAt(100);
    master.media().queueEvent(EC_COMPLETE);
    ASSERT_TRUE(waitFor([&] { return remote.commands().count(QStringLiteral("Play")) == 2; }));
    show.runOn(100);
    ASSERT_TRUE(waitFor([&] {
        return show.slaveLine().contains(QStringLiteral("seg 1 \u25B6 100"));
    })) << show.slaveLine().toStdString();

    // At the Out point; read at once, the position may still be there after the seek back.
    show.standAt(200);
    master.media().queueEvent(EC_COMPLETE);
    ASSERT_TRUE(waitFor([&] { return remote.commands().contains(QStringLiteral("ReSt")); }));
    show.runOn(0);
    EXPECT_TRUE(waitFor([&] {
        return show.slaveLine().contains(QStringLiteral("seg 0 \u25B6 0"));
    })) << show.slaveLine().toStdString();
    settle(500);
    master.close();

    QFile report(master.programDir() + QStringLiteral("frameLock-show.csv"));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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

QStringList hostLines;

void keepHostLine(QtMsgType, const QMessageLogContext& context, const QString& message) {
    const QByteArrayView category = context.category ? context.category : "";
    if ((category == "framelock.net" || category == "framelock.sync") &&
        message.contains(QStringLiteral("127.0.0.1"))) {
        hostLines << QString::fromLatin1(category) + QLatin1Char(' ') + message;
    }
}

std::int64_t testNowMs = 0;

// The host's lines kept and the test's clock in place for a scope.
class HostLogCapture {
public:
    HostLogCapture() {
        hostLines.clear();
        QLoggingCategory::setFilterRules(
            QStringLiteral("framelock.net.info=true\nframelock.sync.info=true"));
        previous_ = qInstallMessageHandler(keepHostLine);
        testNowMs = 1'000'000;
        monotonic_time::testClock = [] { return testNowMs; };
    }
    ~HostLogCapture() {
        monotonic_time::testClock = nullptr;
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
    }
    HostLogCapture(const HostLogCapture&) = delete;
    HostLogCapture& operator=(const HostLogCapture&) = delete;

private:
    QtMessageHandler previous_ = nullptr;
};

// A host the Master does not obey connects again and again: the log gets a burst of lines about
// it and then, once the second is over, their count, for its links and for its status lines.
TEST(WindowStatus, AHostThatConnectsWithoutEndCostsTheLogAFewLinesASecond) {
    const quint16 port = freePort();
    WindowHarness h(systemSection({QStringLiteral("Server_Port=%1").arg(port),
                                   QStringLiteral("ComportsNr_ktBoolean=False"),
                                   QStringLiteral("Server_CommandHosts=10.9.9.9"),
                                   QStringLiteral("eFilename_Text=clip.avi")}));
    h.show();
    const HostLogCapture capture;
    constexpr int Connects = 200;
    for (int i = 0; i < Connects; ++i) {
        RawPeer peer = RawPeer::connectTo(port);
        ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));
        // Read, so that the peer's end is an orderly one.
        ASSERT_EQ(peer.readExactly(masterHello().size()), masterHello());
    }
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 0; }));
    const QStringList burst = hostLines;
    testNowMs += HostLogBudget::PeriodMs;
    const auto counts = [] { return hostLines.filter(QStringLiteral(" more lines ")); };
    EXPECT_TRUE(waitFor([&] { return counts().size() == 2; }));

    EXPECT_EQ(burst.size(), 2 * HostLogBudget::Burst) << burst.join('\n').toStdString();
    // Connected and disconnected; the line of each connection and its going.
    const int rest = 2 * Connects - HostLogBudget::Burst;
    QStringList said = counts();
    said.sort();
    ASSERT_EQ(said.size(), 2);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("framelock.net 127.0.0.1: %1 more lines in the "
                                                  "last second, the last: slave disconnected ")
                                       .arg(rest)))
        << said[0].toStdString();
    EXPECT_TRUE(said[1].startsWith(
        QStringLiteral("framelock.sync 127.0.0.1: %1 more lines in the last second, the last: "
                       "slave 127.0.0.1:")
            .arg(rest)))
        << said[1].toStdString();
}

}  // namespace

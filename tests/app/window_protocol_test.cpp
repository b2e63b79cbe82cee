#include "app/receive_assembler.h"
#include "app/status_frame.h"
#include "media/fake_media_service.h"
#include "media/graph_player.h"
#include "net/loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "serial/pty_pair.h"
#include "widgets/gui/splash_window.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTimer>

namespace {

QStringList masterLan(quint16 port) {
    return {QStringLiteral("Server_Port=%1").arg(port),
            QStringLiteral("ComportsNr_ktBoolean=False"),
            QStringLiteral("eFilename_Text=clip.avi")};
}

QStringList comSettings(bool master, const PtyPair& one, const PtyPair& two) {
    return {QStringLiteral("rbCom_Checked=True"),
            QStringLiteral("rbLan_Checked=False"),
            QStringLiteral("rbMaster_Checked=%1").arg(master ? "True" : "False"),
            QStringLiteral("rbSlave_Checked=%1").arg(master ? "False" : "True"),
            QStringLiteral("ComportsNr_ktInteger1=1"),
            QStringLiteral("ComportsNr_ktInteger2=2"),
            QStringLiteral("ComportsNr_ktBoolean=False"),
            QStringLiteral("eFilename_Text=clip.avi"),
            QStringLiteral("[Ports]"),
            QStringLiteral("COM1=") + one.slavePath(),
            QStringLiteral("COM2=") + two.slavePath()};
}

TEST(WindowProtocol, AMasterSendsEachFrameToEverySlaveAndOneBurstLightsSendOnce) {
    const quint16 port = freePort();
    WindowHarness h(systemSection(masterLan(port)));
    h.show();
    ASSERT_TRUE(h.window().Server->Listen());
    RawPeer first = RawPeer::connectTo(port);
    RawPeer second = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 2; }));
    EXPECT_TRUE(h.ui().lbConnected->item(0)->text().startsWith(QStringLiteral("127.0.0.1:")));

    // A lamp time no loaded machine outlasts, kept to the millisecond, so that a restart shows
    // as time given back.
    h.window().ledtimer->setInterval(600000);
    h.window().ledtimer->setTimerType(Qt::PreciseTimer);
    h.window().SendCommand("Play");
    const int remaining = h.window().ledtimer->remainingTime();
    ASSERT_TRUE(waitFor([&] { return h.window().ledtimer->remainingTime() < remaining; }));
    for (int i = 0; i < 9; ++i) {
        h.window().SendCommand("Stop");
    }
    EXPECT_TRUE(h.ui().masterled->Value());
    // The burst did not restart the timer: the lamp goes dark one lamp time after the first flash.
    EXPECT_LT(h.window().ledtimer->remainingTime(), remaining);
    EXPECT_EQ(first.readExactly(masterHello().size() + 6 + 9 * 6),
              masterHello() + QByteArray("_Play*") + QByteArray("_Stop*").repeated(9));
    EXPECT_EQ(second.readExactly(masterHello().size() + 6).left(masterHello().size() + 6),
              masterHello() + "_Play*");
    h.window().ledtimer->setInterval(1);
    ASSERT_TRUE(waitFor([&] { return !h.ui().masterled->Value(); }));
}

TEST(WindowProtocol, AReceivedPositionIsRelativeToTheOwnInPointAndABadOneStopsNothing) {
    const quint16 port = freePort();
    WindowHarness h(systemSection(masterLan(port) << QStringLiteral("eIn_Value=100")));
    h.show();
    RawPeer remote = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));
    const qsizetype start = h.mediaLog->size();
    remote.send("_Pos abc*");
    remote.send("noise_Pos -5*more");
    ASSERT_TRUE(waitFor([&] { return h.mediaLog->size() >= start + 3; }));
    EXPECT_EQ(h.mediaLog->mid(start), QStringList({"stop", "setPositions 95 1000", "pause"}));
    // Two frames in one read flash the receive lamp, and run in order.
    h.ui().cbRepeat->setChecked(false);
    h.ui().cbFullscreen->setChecked(false);
    remote.send("_Rep1*_Rep0*_Ful1*");
    ASSERT_TRUE(waitFor([&] { return h.ui().cbFullscreen->isChecked(); }));
    EXPECT_FALSE(h.ui().cbRepeat->isChecked());
    EXPECT_TRUE(h.ui().slaveled->Value());
}

TEST(WindowProtocol, ASlaveFollowsWithoutEchoAndAFailedFileHoldsNoCommandBack) {
    RawPeer master = RawPeer::listenOn();
    WindowHarness h(systemSection(
        {QStringLiteral("rbMaster_Checked=False"), QStringLiteral("rbSlave_Checked=True"),
         QStringLiteral("Client_Port=%1").arg(master.localPort()),
         QStringLiteral("ComportsNr_ktBoolean=False"), QStringLiteral("eFilename_Text=clip.avi")}));
    h.show();
    RawPeer link = master.accept();
    ASSERT_TRUE(waitFor([&] { return h.window().Client->Connected(); }));

    link.send("_Rep0*_Ful1*");
    ASSERT_TRUE(waitFor([&] { return !h.ui().cbRepeat->isChecked(); }));
    EXPECT_TRUE(h.ui().cbFullscreen->isChecked());
    settle(100);
    // What the Slave reports of itself is no echo.
    QStringList echoed;
    ReceiveAssembler frames([&](const QByteArray& command) {
        if (!isStatusCommand(command)) {
            echoed << QString::fromLatin1(command);
        }
    });
    frames.Receive(link.readAvailable());
    EXPECT_EQ(echoed, QStringList());

    // "Play" on a file that cannot be opened asks nobody on an unattended Slave: its box waits
    // for no click, so the command behind it runs at once.
    h.window().player().CloseMedia();
    h.media().config.render = false;
    link.send("_Play*_Rep1*");
    ASSERT_TRUE(waitFor([&] { return h.ui().cbRepeat->isChecked(); }));
    EXPECT_TRUE(waitFor([&] { return h.dialogs.notices.size() == 1u; }));
    EXPECT_TRUE(h.dialogs.messages.empty());
}

// A remote control and the Slaves write to one Master at once. Each "Rep" frame shows how far
// the Master has read, so that the halves arrive in the order the test sends them.
TEST(WindowProtocol, EachConnectionIsFramedOnItsOwn) {
    const quint16 port = freePort();
    WindowHarness h(systemSection(masterLan(port)));
    h.show();
    RawPeer remote = RawPeer::connectTo(port);
    RawPeer slave = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 2; }));
    h.ui().cbRepeat->setChecked(false);
    const auto mark = [](bool loop) { return frameCommand(SyncCommand::loop(loop)); };
    const auto readUpTo = [&](bool loop) {
        return waitFor([&] { return h.ui().cbRepeat->isChecked() == loop; });
    };

    // Another peer's bytes between the halves of a command are not its end.
    remote.send(mark(true) + "_ClLi*_SeLi7");
    ASSERT_TRUE(readUpTo(true));
    slave.send("77*" + mark(false));
    ASSERT_TRUE(readUpTo(false));
    remote.send("*" + mark(true));
    ASSERT_TRUE(readUpTo(true));
    // Nor is a Slave's report.
    remote.send(mark(false) + "_SeLi");
    ASSERT_TRUE(readUpTo(false));
    slave.send(frameCommand(buildStatus(StatusError{QStringLiteral("x")})) + mark(true));
    ASSERT_TRUE(readUpTo(true));
    remote.send("12*" + mark(false));
    ASSERT_TRUE(readUpTo(false));

    QStringList items;
    for (int i = 0; i < h.ui().lbCut->count(); ++i) {
        items << h.ui().lbCut->item(i)->text();
    }
    EXPECT_EQ(items, QStringList({"7", "12"}));
}

TEST(WindowProtocol, OnComAMasterWritesBothPortsAndASlavePassesEverythingOnFirst) {
    PtyPair one, two;
    ASSERT_TRUE(one.ok() && two.ok());
    {
        WindowHarness master(systemSection(comSettings(true, one, two)));
        master.show();
        ASSERT_TRUE(master.window().ComPort1->Connected());
        ASSERT_TRUE(master.window().ComPort2->Connected());
        master.window().SendCommand("Play");
        EXPECT_EQ(one.readMaster(6), QByteArray("_Play*"));
        EXPECT_EQ(two.readMaster(6), QByteArray("_Play*"));
        EXPECT_TRUE(master.ui().masterled->Value());
        EXPECT_TRUE(master.ui().thruled->Value());
    }
    WindowHarness slave(systemSection(comSettings(false, one, two)));
    slave.show();
    ASSERT_TRUE(slave.window().ComPort1->Connected());
    const QByteArray garbage = "x\x01_Rep0*_Re";
    one.writeMaster(garbage);
    // The port hands its bytes to this thread, so the event loop runs while the far end reads.
    QByteArray passed;
    ASSERT_TRUE(waitFor([&] {
        passed += two.readMaster(static_cast<int>(garbage.size() - passed.size()), 10);
        return passed.size() >= garbage.size();
    }));
    EXPECT_EQ(passed, garbage);
    ASSERT_TRUE(waitFor([&] { return !slave.ui().cbRepeat->isChecked(); }));
    EXPECT_TRUE(slave.ui().thruled->Value());
    // The half frame at the end waits for its rest.
    one.writeMaster("p1*");
    EXPECT_TRUE(waitFor([&] { return slave.ui().cbRepeat->isChecked(); }));
}

TEST(WindowProtocol, AMasterWhoseServerCannotListenSendsNothingAndRetries) {
    TSimpleTCPServer other;
    other.setPort(0);
    other.setListen(true);
    const quint16 taken = boundPort(other);
    WindowHarness h(systemSection(masterLan(taken)));
    h.window().ClientStatusTimer->setInterval(50);
    h.show();
    EXPECT_FALSE(h.window().Server->Listen());
    EXPECT_FALSE(h.ui().eServerStatus->text().isEmpty());
    EXPECT_EQ(h.dialogs.beeps.size(), 1u);
    h.window().SendCommand("Play");
    EXPECT_FALSE(h.ui().masterled->Value());
    // The retry keeps trying (each failure beeps) and succeeds once the port is free.
    ASSERT_TRUE(waitFor([&] { return h.dialogs.beeps.size() >= 2; }));
    other.setListen(false);
    ASSERT_TRUE(waitFor([&] { return h.window().Server->Listen(); }));
    const std::size_t beeps = h.dialogs.beeps.size();
    // Four retry intervals: a retry still running would have failed and beeped by now.
    settle(4 * h.window().ClientStatusTimer->interval());
    EXPECT_EQ(h.dialogs.beeps.size(), beeps);
    EXPECT_TRUE(h.window().Server->Listen());
}

TEST(WindowProtocol, AnyReceivedCommandClosesTheSplashButASlavesReportDoesNot) {
    WindowHarness h(systemSection({QStringLiteral("Server_Port=%1").arg(freePort())}));
    h.window().CountdownTimer->setInterval(10);
    bool upAfterReport = false;
    bool upAfterCommand = true;
    // The splash runs its own event loop; this looks in from there once it is up.
    QTimer inside;
    inside.setInterval(5);
    QObject::connect(&inside, &QTimer::timeout, [&] {
        if (!h.window().splashShowing()) {
            return;
        }
        inside.stop();
        // Slaves report as they connect; that must not take the Master's splash away.
        h.window().DispatchCommand("sStacued|1|0|||0|0|1");
        h.window().DispatchCommand("sErrx");
        upAfterReport = h.window().splash()->isVisible();
        h.window().DispatchCommand("Nope");
        upAfterCommand = h.window().splash()->isVisible();
    });
    inside.start();
    h.show();
    ASSERT_TRUE(waitFor([&] { return !inside.isActive() && !h.window().splashShowing(); }));
    EXPECT_TRUE(upAfterReport);
    EXPECT_FALSE(upAfterCommand);
}

}  // namespace

namespace {

QStringList syncLines;

void keepSyncLine(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (context.category && QByteArrayView(context.category) == "framelock.sync") {
        syncLines << message;
    }
}

// A host that floods the Master's port with garbage and bad arguments must not write the event
// log full: each command it sends that is of use is told once, the rest as a count a second.
TEST(WindowProtocol, AFloodOfUselessCommandsIsLoggedAsACountASecond) {
    const quint16 port = freePort();
    WindowHarness h(systemSection(masterLan(port)));
    h.show();
    RawPeer peer = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));
    syncLines.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("framelock.sync.info=true"));
    const QtMessageHandler previous = qInstallMessageHandler(keepSyncLine);
    QElapsedTimer clock;
    clock.start();
    peer.send(QByteArray("_Xyz1*_Pos abc*").repeated(10000) + "_Rep0*");
    // The count of each second, summed: a loaded machine may spread the flood over seconds.
    const auto counted = [&] {
        int sum = 0;
        for (const QString& line : syncLines.filter(QStringLiteral("more commands ignored"))) {
            sum += line.section(QLatin1Char(' '), 0, 0).toInt();
        }
        return sum;
    };
    const bool took = waitFor([&] { return !h.ui().cbRepeat->isChecked(); });
    waitFor([&] { return counted() >= 19999; }, 10000);
    const qint64 seconds = clock.elapsed() / 1000;
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    const std::string lines = syncLines.mid(0, 10).join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(took);
    EXPECT_EQ(counted(), 19999) << lines;
    EXPECT_EQ(syncLines.filter(QStringLiteral("unknown command ignored: \"Xyz1\"")).size(), 1);
    EXPECT_EQ(syncLines.filter(QStringLiteral("received Rep0")).size(), 1);
    EXPECT_LE(syncLines.size(), 3 + seconds) << lines;
}

}  // namespace

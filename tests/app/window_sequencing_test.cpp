#include "media/fake_media_service.h"
#include "media/graph_player.h"
#include "net/loopback.h"
#include "net/simple_tcp_server.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QTest>
#include <QTimer>
#include <optional>

namespace {

// A Master on its own port with the given Sync points, In point and a short sync time.
QByteArray masterWith(quint16 port, const QStringList& points, int inPoint = 0) {
    QStringList lines{
        QStringLiteral("Server_Port=%1").arg(port),   QStringLiteral("ComportsNr_ktBoolean=False"),
        QStringLiteral("StartTimer_Interval=20"),     QStringLiteral("eIn_Value=%1").arg(inPoint),
        QStringLiteral("eFilename_Text=clip.avi"),    QStringLiteral("[System.lbCut_Items]"),
        QStringLiteral("Count=%1").arg(points.size())};
    for (int i = 0; i < points.size(); ++i) {
        lines << QStringLiteral("Item%1=%2").arg(i).arg(points[i]);
    }
    return systemSection(lines);
}

// The calls that move the media: what a Slave must repeat exactly.
QStringList transport(const QStringList& log, qsizetype from = 0) {
    QStringList calls;
    for (const QString& call : log.mid(from)) {
        if (call.startsWith(QStringLiteral("setPositions")) || call == QStringLiteral("pause") ||
            call == QStringLiteral("run") || call == QStringLiteral("stop")) {
            calls << call;
        }
    }
    return calls;
}

struct ShowOnAMaster {
    explicit ShowOnAMaster(const QStringList& points, int inPoint = 0)
        : port(freePort()), h(masterWith(port, points, inPoint)) {
        h.show();
        tap = std::make_unique<WireTap>(port);
        EXPECT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));
    }
    // The media reached the end of the current range.
    void complete() {
        h.media().queueEvent(EC_COMPLETE);
        QCoreApplication::processEvents();
    }

    quint16 port;
    WindowHarness h;
    std::unique_ptr<WireTap> tap;
};

TEST(WindowSequencing, AWholeShowLoopsOnTheMasterAndASlaveFedItsBytesMovesTheSame) {
    ShowOnAMaster show({"100", "200", "300"});
    // The lamps stay lit as long as a test may take, so an unlit one was never flashed.
    show.h.window().ledtimer->setInterval(600000);
    const qsizetype start = show.h.mediaLog->size();
    show.h.ui().bPlay->click();
    EXPECT_EQ(show.tap->take(6),
              QStringList({"ClLi", "SeLi100", "SeLi200", "SeLi300", "DoNC0", "Play"}));
    for (int loop = 0; loop < 2; ++loop) {
        show.h.ui().syncLed->setValue(false);
        show.complete();
        EXPECT_EQ(show.tap->take(2), QStringList({"DoNC1", "Play"}));
        EXPECT_TRUE(show.h.ui().syncLed->Value());
        show.complete();
        EXPECT_EQ(show.tap->take(2), QStringList({"DoNC2", "Play"}));
        show.complete();
        EXPECT_EQ(show.tap->take(1), QStringList({"ReSt"}));
        EXPECT_EQ(show.h.ui().lbCut->currentRow(), 0);
    }
    show.h.ui().bStop->click();
    EXPECT_EQ(show.tap->take(1), QStringList({"Stop"}));
    const QStringList masterCalls = transport(*show.h.mediaLog, start);
    EXPECT_EQ(masterCalls.mid(0, 4), QStringList({"run", "setPositions 100 200", "pause", "run"}));
    EXPECT_EQ(masterCalls.mid(7, 1), QStringList({"setPositions 0 100"}));

    WindowHarness slave(systemSection(
        {QStringLiteral("rbMaster_Checked=False"), QStringLiteral("rbSlave_Checked=True"),
         QStringLiteral("Client_Port=%1").arg(freePort()),
         QStringLiteral("ComportsNr_ktBoolean=False"), QStringLiteral("eFilename_Text=clip.avi")}));
    slave.show();
    const qsizetype slaveStart = slave.mediaLog->size();
    for (const QString& command : show.tap->commands()) {
        slave.window().DispatchCommand(command.toLatin1());
    }
    // Wherever it stood, the Slave was cued to the Master's segment before it ran.
    EXPECT_EQ(transport(*slave.mediaLog, slaveStart),
              QStringList({"setPositions 0 100", "pause"}) + masterCalls);
    EXPECT_EQ(slave.ui().lbCut->Items(), QStringList({"100", "200", "300"}));
}

// The cues made from `from` on, each checked to be the range named next before it, and what
// stands named at the end ("-" for nothing).
QStringList cuesNamedBeforehand(const QStringList& log, qsizetype from) {
    std::optional<QString> named;
    QStringList cues;
    for (qsizetype i = 0; i < log.size(); ++i) {
        const QString& call = log.at(i);
        if (call.startsWith(QStringLiteral("setNextRange "))) {
            named = call.mid(13);
        } else if (call == QStringLiteral("clearNextRange")) {
            named.reset();
        } else if (i >= from && call.startsWith(QStringLiteral("setPositions "))) {
            EXPECT_EQ(named, call.mid(13)) << call.toStdString();
            cues << call.mid(13);
        }
    }
    return cues << named.value_or(QStringLiteral("-"));
}

// The player can have a cue ready only if it was told: every cue of a show, the loop back
// included, is the range named next before it, and nothing is named after the last segment;
// on a Slave too, whose selection the list received at the start clears.
TEST(WindowSequencing, EveryCueOfAShowWasNamedAsTheNextRangeBeforeIt) {
    ShowOnAMaster show({"100", "200", "300"});
    show.h.ui().bPlay->click();
    const qsizetype start = show.h.mediaLog->size();
    for (int i = 0; i < 4; ++i) {
        show.complete();
    }
    show.h.ui().cbRepeat->setChecked(false);
    show.complete();
    const QStringList cues{"100 200", "200 300", "0 100", "100 200", "200 300"};
    EXPECT_EQ(cuesNamedBeforehand(*show.h.mediaLog, start), cues + QStringList{"-"});
    // On the last segment, ticking Loop names the first one again.
    show.h.ui().cbRepeat->setChecked(true);
    EXPECT_EQ(cuesNamedBeforehand(*show.h.mediaLog, start), cues + QStringList{"0 100"});

    WindowHarness slave(systemSection(
        {QStringLiteral("rbMaster_Checked=False"), QStringLiteral("rbSlave_Checked=True"),
         QStringLiteral("Client_Port=%1").arg(freePort()),
         QStringLiteral("ComportsNr_ktBoolean=False"), QStringLiteral("eFilename_Text=clip.avi"),
         QStringLiteral("cbRepeat_Checked=True"), QStringLiteral("[System.lbCut_Items]"),
         QStringLiteral("Count=3"), QStringLiteral("Item0=100"), QStringLiteral("Item1=200"),
         QStringLiteral("Item2=300")}));
    slave.show();
    const QStringList commands = show.tap->commands(14);
    ASSERT_EQ(commands.mid(9, 3), QStringList({"Rep0", "DoNC2", "Rep1"}));
    // The Start's cue names where the Master stands, which no Slave can foresee.
    qsizetype slaveStart = 0;
    for (const QString& command : commands) {
        slave.window().DispatchCommand(command.toLatin1());
        if (slaveStart == 0 && command == QStringLiteral("DoNC0")) {
            slaveStart = slave.mediaLog->size();
        }
    }
    EXPECT_EQ(cuesNamedBeforehand(*slave.mediaLog, slaveStart), cues + QStringList{"0 100"});
}

TEST(WindowSequencing, AListBeginningWithZeroCuesItsFirstSegmentAndStartsAfterTheSyncTime) {
    ShowOnAMaster show({"0", "200"}, 100);
    const qsizetype start = show.h.mediaLog->size();
    show.h.ui().bRewind->click();
    EXPECT_EQ(show.tap->take(1), QStringList({"Rewi"}));
    EXPECT_EQ(transport(*show.h.mediaLog, start), QStringList({"setPositions 100 300", "pause"}));
    EXPECT_EQ(show.h.ui().lbCut->currentRow(), 1);
    show.h.ui().bPlay->click();
    EXPECT_EQ(show.tap->take(5), QStringList({"ClLi", "SeLi0", "SeLi200", "DoNC1", "Play"}));
    show.complete();
    EXPECT_EQ(show.tap->take(3), QStringList({"DoNC0", "ReSt", "Play"}));
}

TEST(WindowSequencing, AnEmptyListRestartsAtOnceAndWithoutLoopTheShowEnds) {
    ShowOnAMaster show({}, 100);
    show.h.ui().bPlay->click();
    EXPECT_EQ(show.tap->take(3), QStringList({"ClLi", "DoNC0", "Play"}));
    const qsizetype start = show.h.mediaLog->size();
    show.complete();
    EXPECT_EQ(show.tap->take(1), QStringList({"ReSt"}));
    EXPECT_EQ(transport(*show.h.mediaLog, start), QStringList({"setPositions 100 1000"}));
    settle(100);
    EXPECT_EQ(show.tap->take(), QStringList());

    show.h.ui().cbRepeat->setChecked(false);
    EXPECT_EQ(show.tap->take(1), QStringList({"Rep0"}));
    show.complete();
    settle(100);
    EXPECT_EQ(show.tap->take(), QStringList());
}

TEST(WindowSequencing, SetSyncInsertsInOrderAndRefusesAPointOutOfOrder) {
    ShowOnAMaster show({"50", "200"}, 100);
    Ui::TfFrameLock& ui = show.h.ui();
    ui.lbCut->setCurrentRow(0);
    ui.seAktFrame->setText(QStringLiteral("180"));
    ui.bSet->click();
    EXPECT_EQ(ui.lbCut->Items(), QStringList({"50", "80", "200"}));
    EXPECT_EQ(ui.lbCut->currentRow(), 1);
    ui.lbCut->setCurrentRow(0);
    ui.seAktFrame->setText(QStringLiteral("400"));
    ui.bSet->click();
    ASSERT_EQ(show.h.dialogs.messages.size(), 1u);
    EXPECT_EQ(show.h.dialogs.messages[0].caption, QStringLiteral("Set Sync point"));
    EXPECT_EQ(ui.lbCut->Items(), QStringList({"50", "80", "200"}));

    ui.lbCut->setItems({QStringLiteral("50")});
    ui.gbSync->setFocus();
    show.h.window().gbSyncClick();
    ui.seAktFrame->setText(QStringLiteral("120"));
    ui.bSet->click();
    EXPECT_EQ(ui.lbCut->Items(), QStringList({"20", "50"}));
    ui.bDelete->click();
    EXPECT_EQ(ui.lbCut->Items(), QStringList({"50"}));
    EXPECT_EQ(ui.lbCut->currentRow(), -1);
    EXPECT_EQ(show.tap->take(), QStringList());
}

TEST(WindowSequencing, SeekingSendsPositionsRelativeToTheInPointAndSteppingWraps) {
    const quint16 port = freePort();
    WindowHarness h(masterWith(port, {"900"}, 100));
    h.media().config.duration = 2000;
    h.show();
    WireTap tap(port);
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));

    h.ui().lbCut->setCurrentRow(0);
    h.ui().bGo->click();
    EXPECT_EQ(h.ui().tbPosition->value(), 500);
    EXPECT_EQ(h.ui().seAktFrame->text(), QStringLiteral("1000"));
    EXPECT_EQ(tap.take(1), QStringList({"Pos 900"}));
    h.ui().tbPosition->setValue(250);
    EXPECT_EQ(tap.take(1), QStringList({"Pos 400"}));
    EXPECT_EQ(h.mediaLog->last(), QStringLiteral("pause"));

    h.media().config.position = 2000;
    QTest::keyClick(&h.window(), Qt::Key_F8);
    EXPECT_EQ(tap.take(1), QStringList({"Pos -100"}));
    h.media().config.position = 0;
    QTest::keyClick(&h.window(), Qt::Key_F7);
    EXPECT_EQ(tap.take(1), QStringList({"Pos 1899"}));
    h.media().config.position = 40;
    QTest::keyClick(&h.window(), Qt::Key_F5);
    EXPECT_EQ(tap.take(1), QStringList({"Pos -85"}));
}

TEST(WindowSequencing, TheFrameBoxIsNotOverwrittenWhileTheOperatorTypes) {
    ShowOnAMaster show({});
    Ui::TfFrameLock& ui = show.h.ui();
    show.h.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&show.h.window()));
    show.h.media().config.position = 333;
    ui.seAktFrame->setFocus();
    ui.seAktFrame->clear();
    QTest::keyClicks(ui.seAktFrame, QStringLiteral("77"));
    show.h.window().StatusTimerTimer();
    EXPECT_EQ(ui.seAktFrame->text(), QStringLiteral("77"));
    ui.eIn->setFocus();
    show.h.window().StatusTimerTimer();
    EXPECT_EQ(ui.seAktFrame->text(), QStringLiteral("333"));
}

TEST(WindowSequencing, StopDropsAnArmedStartRewindDoesNotAndTestModeStepsOneFramePerTick) {
    ShowOnAMaster show({"500"});
    Ui::TfFrameLock& ui = show.h.ui();
    show.h.window().StartTimer->setInterval(200);
    ui.cbFullscreen->setChecked(true);
    ui.bPlay->click();
    EXPECT_EQ(show.tap->take(5), QStringList({"Ful1", "ClLi", "SeLi500", "DoNC0", "FSc1"}));
    EXPECT_TRUE(show.h.window().StartTimer->isActive());
    ui.bRewind->click();
    EXPECT_EQ(show.tap->take(2), QStringList({"Rewi", "Play"}));

    QTest::keyClick(&show.h.window(), Qt::Key_F4);
    EXPECT_EQ(show.tap->take(1), QStringList({"FSc0"}));
    ui.bPlay->click();
    EXPECT_TRUE(show.h.window().StartTimer->isActive());
    ui.bStop->click();
    EXPECT_FALSE(show.h.window().StartTimer->isActive());
    settle(400);
    // Started again from where the show stood within its segment: the Slaves are sent there.
    EXPECT_EQ(show.tap->take(),
              QStringList({"ClLi", "SeLi500", "DoNC0", "Pos 0", "PoSe0", "FSc1", "Stop"}));

    show.h.window().TestTimer->setInterval(1000000);
    ui.cbTest->setChecked(true);
    EXPECT_TRUE(show.h.window().TestTimer->isActive());
    show.h.media().config.position = 10;
    show.h.window().TestTimerTimer();
    show.h.media().config.position = 11;
    show.h.window().TestTimerTimer();
    EXPECT_EQ(show.tap->take(2), QStringList({"Pos 11", "Pos 12"}));
    for (QAbstractButton* button : {ui.bPlay, ui.bStop, ui.bRewind}) {
        ui.cbTest->setChecked(true);
        button->click();
        EXPECT_FALSE(ui.cbTest->isChecked()) << button->objectName().toStdString();
        EXPECT_FALSE(show.h.window().TestTimer->isActive());
    }
}

}  // namespace

namespace {

TEST(WindowSequencing, ClosingWhileAStartIsPendingSendsNothingMore) {
    ShowOnAMaster show({"500"});
    show.h.window().StartTimer->setInterval(100);
    show.h.ui().cbFullscreen->setChecked(true);
    show.h.ui().bPlay->click();
    EXPECT_EQ(show.tap->take(5), QStringList({"Ful1", "ClLi", "SeLi500", "DoNC0", "FSc1"}));
    show.h.window().close();
    settle(400);
    EXPECT_EQ(show.tap->take(), QStringList());
    EXPECT_FALSE(show.h.window().Server->Listen());
}

}  // namespace

namespace {

// A Slave with its own Sync points and Loop on, fed the Master's commands by hand.
struct FedSlave {
    explicit FedSlave(const QStringList& points)
        : h([&] {
              QStringList lines{QStringLiteral("rbMaster_Checked=False"),
                                QStringLiteral("rbSlave_Checked=True"),
                                QStringLiteral("Client_Port=%1").arg(freePort()),
                                QStringLiteral("ComportsNr_ktBoolean=False"),
                                QStringLiteral("eFilename_Text=clip.avi"),
                                QStringLiteral("cbRepeat_Checked=True"),
                                QStringLiteral("[System.lbCut_Items]"),
                                QStringLiteral("Count=%1").arg(points.size())};
              for (int i = 0; i < points.size(); ++i) {
                  lines << QStringLiteral("Item%1=%2").arg(i).arg(points[i]);
              }
              return systemSection(lines);
          }()) {
        h.show();
        seen = h.mediaLog->size();
    }
    void feed(const QStringList& commands) {
        for (const QString& command : commands) {
            h.window().DispatchCommand(command.toLatin1());
        }
    }
    // What the media was told since the last call.
    QStringList moves() {
        const QStringList calls = transport(*h.mediaLog, seen);
        seen = h.mediaLog->size();
        return calls;
    }

    WindowHarness h;
    qsizetype seen = 0;
};

// After a power cut the Master starts on its first segment while a Slave still stands where the
// last show left it; after a Stop within a segment a Slave that came back meanwhile stands at
// its start. Either way it must run from the Master's segment and place, not its own.
TEST(WindowSequencing, AStartTakesEverySlaveToTheMastersSegmentAndPlace) {
    ShowOnAMaster show({"100", "200", "300"});
    FedSlave leftCued({"100", "200", "300"});
    leftCued.feed({"DoNC2"});
    EXPECT_EQ(leftCued.moves(), QStringList({"setPositions 200 300", "pause"}));
    show.h.window().OpenTimerTimer();
    leftCued.feed(show.tap->take(6));
    EXPECT_EQ(leftCued.moves(), QStringList({"setPositions 0 100", "pause", "run"}));

    show.h.media().config.position = 40;
    show.h.ui().bStop->click();
    FedSlave cameBack({"100", "200", "300"});
    show.h.ui().bPlay->click();
    const QStringList start = show.tap->take(9);
    EXPECT_EQ(start, QStringList({"Stop", "ClLi", "SeLi100", "SeLi200", "SeLi300", "DoNC0",
                                  "Pos 40", "PoSe40", "Play"}));
    cameBack.feed(start);
    const QStringList moves = cameBack.moves();
    ASSERT_FALSE(moves.isEmpty());
    EXPECT_EQ(moves.last(), QStringLiteral("run"));
    // At frame 40, and still stopping at the segment's end as the Master does.
    EXPECT_EQ(moves.filter(QStringLiteral("setPositions")).last(),
              QStringLiteral("setPositions 40 100"));
}

// With a list that does not begin at the In point each instance wraps at its own Out point; the
// Master's "ReSt" comes a little later and must not pull back a Slave that already plays on.
TEST(WindowSequencing, RestartLeavesASlaveThatWrappedByItselfWhereItPlays) {
    FedSlave slave({"100", "200"});
    slave.feed({"DoNC1", "Play"});
    slave.h.media().queueEvent(EC_COMPLETE);
    QCoreApplication::processEvents();
    EXPECT_EQ(slave.moves(),
              QStringList({"setPositions 100 200", "pause", "run", "setPositions 0 100"}));
    slave.feed({"ReSt"});
    EXPECT_EQ(slave.moves(), QStringList());
    EXPECT_EQ(slave.h.ui().lbCut->currentRow(), 0);

    // One that is still in its last segment when "ReSt" comes wraps on the command.
    slave.feed({"DoNC1", "Play"});
    slave.moves();
    slave.feed({"ReSt"});
    EXPECT_EQ(slave.moves(), QStringList({"setPositions 0 100"}));
}

}  // namespace

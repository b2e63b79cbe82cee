#include "show_rig.h"

#include "loopback.h"
#include "support/log_capture.h"
#include "support/qt_printers.h"
#include "support/test_clock.h"
#include "widgets/dialog_service.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

using Settings = ShowRig::Settings;

Settings masterWith(const QStringList& points, std::int32_t inPoint = 0) {
    Settings settings;
    settings.syncPoints = points;
    settings.inPoint = inPoint;
    return settings;
}

Settings slaveWith(const QStringList& points, bool loop = true) {
    Settings settings;
    settings.master = false;
    settings.syncPoints = points;
    settings.loop = loop;
    return settings;
}

// Every command the Master sent, fired start by start: a Start, then `completions` segment ends.
QStringList startAndComplete(ShowRig& master, int completions) {
    master.show->start();
    EXPECT_TRUE(master.fireStart());
    for (int i = 0; i < completions; ++i) {
        master.complete();
        master.fireStart();
    }
    return master.sent();
}

TEST(ShowController, AWholeShowLoopsOnTheMasterAndASlaveFedItsCommandsMovesTheSame) {
    ShowRig master(masterWith({"100", "200", "300"}));
    master.show->start();
    EXPECT_EQ(master.startsArmed, 1);
    EXPECT_TRUE(master.fireStart());
    QStringList all = master.sent();
    EXPECT_EQ(all, QStringList({"ClLi", "SeLi100", "SeLi200", "SeLi300", "DoNC0", "Play"}));
    for (int loop = 0; loop < 2; ++loop) {
        master.complete();
        const QStringList cue = master.sent();
        EXPECT_EQ(cue, QStringList({"DoNC1"}));
        all << cue;
        EXPECT_TRUE(master.fireStart());
        master.complete();
        EXPECT_TRUE(master.fireStart());
        master.complete();
        // The list does not begin at the In point: the media plays on into the first segment.
        EXPECT_FALSE(master.fireStart());
        EXPECT_EQ(master.show->model().selection, 0);
        all << master.sent();
    }
    EXPECT_EQ(all.mid(6), QStringList({"DoNC1", "Play", "DoNC2", "Play", "ReSt", "DoNC1", "Play",
                                       "DoNC2", "Play", "ReSt"}));
    EXPECT_EQ(master.hooks.calls.count(QStringLiteral("looped")), 2);
    master.show->stop();
    all << master.sent();
    EXPECT_EQ(all.last(), QStringLiteral("Stop"));
    const QStringList masterMoves = master.moves();
    EXPECT_EQ(masterMoves.mid(0, 4), QStringList({"run", "setPositions 100 200", "pause", "run"}));
    EXPECT_EQ(masterMoves.mid(7, 1), QStringList({"setPositions 0 100"}));

    ShowRig slave(slaveWith({}, false));
    slave.feed(all);
    // Wherever it stood, the Slave was cued to the Master's segment before it ran.
    EXPECT_EQ(slave.moves(), QStringList({"setPositions 0 100", "pause"}) + masterMoves);
    EXPECT_EQ(slave.show->model().syncPoints, QStringList({"100", "200", "300"}));
    EXPECT_EQ(slave.sent(), QStringList());
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
TEST(ShowController, EveryCueOfAShowWasNamedAsTheNextRangeBeforeIt) {
    ShowRig master(masterWith({"100", "200", "300"}));
    QStringList commands = startAndComplete(master, 0);
    const qsizetype start = master.mediaLog->size();
    for (int i = 0; i < 4; ++i) {
        master.complete();
        master.fireStart();
    }
    master.show->setLoop(false);
    master.complete();
    const QStringList cues{"100 200", "200 300", "0 100", "100 200", "200 300"};
    EXPECT_EQ(cuesNamedBeforehand(*master.mediaLog, start), cues + QStringList{"-"});
    // On the last segment, ticking Loop names the first one again.
    master.show->setLoop(true);
    EXPECT_EQ(cuesNamedBeforehand(*master.mediaLog, start), cues + QStringList{"0 100"});

    commands << master.sent();
    ASSERT_EQ(commands.mid(13), QStringList({"Rep0", "DoNC2", "Rep1"}));
    ShowRig slave(slaveWith({"100", "200", "300"}));
    // The Start's cue names where the Master stands, which no Slave can foresee.
    qsizetype slaveStart = 0;
    for (const QString& command : commands) {
        slave.feed({command});
        if (slaveStart == 0 && command == QStringLiteral("DoNC0")) {
            slaveStart = slave.mediaLog->size();
        }
    }
    EXPECT_EQ(cuesNamedBeforehand(*slave.mediaLog, slaveStart), cues + QStringList{"0 100"});
}

TEST(ShowController, AListBeginningWithZeroHoldsAtItsOutPointAndStartsTheLoopInStep) {
    ShowRig master(masterWith({"0", "200"}, 100));
    master.moves();
    master.show->rewind();
    EXPECT_EQ(master.sent(), QStringList({"Rewi"}));
    EXPECT_EQ(master.moves(), QStringList({"setPositions 100 300", "pause"}));
    EXPECT_EQ(master.show->model().selection, 1);
    EXPECT_EQ(startAndComplete(master, 0),
              QStringList({"ClLi", "SeLi0", "SeLi200", "DoNC1", "Play"}));
    master.complete();
    EXPECT_EQ(master.sent(), QStringList({"DoNC0", "ReSt"}));
    EXPECT_TRUE(master.fireStart());
    EXPECT_EQ(master.sent(), QStringList({"Play"}));
}

TEST(ShowController, AnEmptyListRestartsAtOnceAndWithoutLoopTheShowEnds) {
    ShowRig master(masterWith({}, 100));
    EXPECT_EQ(startAndComplete(master, 0), QStringList({"ClLi", "DoNC0", "Play"}));
    master.moves();
    master.complete();
    EXPECT_EQ(master.sent(), QStringList({"ReSt"}));
    EXPECT_EQ(master.moves(), QStringList({"setPositions 100 1000"}));
    EXPECT_FALSE(master.fireStart());

    master.show->setLoop(false);
    EXPECT_EQ(master.sent(), QStringList({"Rep0"}));
    master.complete();
    EXPECT_FALSE(master.fireStart());
    EXPECT_EQ(master.sent(), QStringList());
}

TEST(ShowController, ASyncPointGoesInOrderAndOneOutOfOrderIsRefusedWithABox) {
    ShowRig master(masterWith({"50", "200"}, 100));
    master.show->setSelection(0);
    master.show->addSyncPoint(QStringLiteral("180"));
    EXPECT_EQ(master.show->model().syncPoints, QStringList({"50", "80", "200"}));
    EXPECT_EQ(master.show->model().selection, 1);
    master.show->setSelection(0);
    master.show->addSyncPoint(QStringLiteral("400"));
    EXPECT_EQ(master.hooks.calls.filter(QStringLiteral("message")),
              QStringList({"message ErrMsg_SetSyncPoint"}));
    EXPECT_EQ(master.show->model().syncPoints, QStringList({"50", "80", "200"}));

    master.show->setSyncPoints({QStringLiteral("50")});
    master.show->setSelection(-1);
    master.show->addSyncPoint(QStringLiteral("120"));
    EXPECT_EQ(master.show->model().syncPoints, QStringList({"20", "50"}));
    master.show->deleteSyncPoint();
    EXPECT_EQ(master.show->model().syncPoints, QStringList({"50"}));
    EXPECT_EQ(master.show->model().selection, -1);
    EXPECT_EQ(master.sent(), QStringList());

    // The In point is set only when the operator says yes.
    master.show->setInFromText(QStringLiteral("30"));
    EXPECT_EQ(master.show->model().inPoint, 100);
    master.hooks.answer = MessageBoxResult::Yes;
    master.show->setInFromText(QStringLiteral("30"));
    EXPECT_EQ(master.show->model().inPoint, 30);
}

TEST(ShowController, StopDropsAnArmedStartRewindDoesNotAndTestModeStepsOneFramePerTick) {
    ShowRig master(masterWith({"500"}));
    master.show->setFullScreenWanted(true);
    master.show->start();
    EXPECT_EQ(master.sent(), QStringList({"Ful1", "ClLi", "SeLi500", "DoNC0", "FSc1"}));
    master.show->rewind();
    EXPECT_TRUE(master.fireStart());
    EXPECT_EQ(master.sent(), QStringList({"Rewi", "Play"}));

    master.show->start();
    master.show->stop();
    EXPECT_FALSE(master.fireStart());
    // Started again from where the show stood within its segment: the Slaves are sent there.
    EXPECT_EQ(master.sent(), QStringList({"ClLi", "SeLi500", "DoNC0", "Pos 0", "PoSe0", "Stop"}));

    master.show->setTestMode(true);
    EXPECT_TRUE(master.testTimer.isActive());
    master.media->config.position = 10;
    master.show->TestTimerTimer();
    master.media->config.position = 11;
    master.show->TestTimerTimer();
    EXPECT_EQ(master.sent(), QStringList({"Pos 11", "Pos 12"}));
    for (const auto& operation :
         {&ShowController::start, &ShowController::stop, &ShowController::rewind}) {
        master.show->setTestMode(true);
        (master.show.get()->*operation)();
        EXPECT_FALSE(master.show->model().testMode);
        EXPECT_FALSE(master.testTimer.isActive());
    }
}

// The operator's seeks hold the Master where it went and tell the Slaves where, counted from
// the In point; a step past either end of the file wraps. A Slave's seeks stay its own.
TEST(ShowController, SeeksSendTheirPlaceFromTheInPointAndStepsWrap) {
    Settings settings = masterWith({"900"}, 100);
    settings.duration = 2000;
    ShowRig master(settings);
    QList<std::int64_t> shown;
    QObject::connect(master.show.get(), &ShowController::positioned,
                     [&](std::int64_t frame) { shown << frame; });
    master.moves();
    master.show->setSelection(0);
    master.show->goToSelection();
    EXPECT_EQ(master.sent(), QStringList({"Pos 900"}));
    EXPECT_EQ(master.moves(), QStringList({"stop", "setPositions 1000 2000", "pause"}));
    master.show->seekFromBar(500);
    EXPECT_EQ(master.sent(), QStringList({"Pos 400"}));
    EXPECT_EQ(master.moves(), QStringList({"stop", "setPositions 500 2000", "pause"}));

    master.media->config.position = 1999;
    master.show->stepFrames(1);
    master.media->config.position = 0;
    master.show->stepFrames(-1);
    master.media->config.position = 40;
    master.show->stepFrames(-25);
    EXPECT_EQ(master.sent(), QStringList({"Pos -100", "Pos 1899", "Pos -85"}));
    // The bar's own seek is not told back to it.
    EXPECT_EQ(shown, QList<std::int64_t>({1000, 0, 1999, 15}));

    ShowRig slave(slaveWith({"900"}));
    slave.moves();
    slave.show->stepFrames(25);
    EXPECT_EQ(slave.moves(), QStringList({"stop", "setPositions 25 1000", "pause"}));
    EXPECT_EQ(slave.sent(), QStringList());
}

// After a power cut the Master starts on its first segment while a Slave still stands where the
// last show left it; after a Stop within a segment a Slave that came back meanwhile stands at
// its start. Either way it must run from the Master's segment and place, not its own.
TEST(ShowController, AStartTakesEverySlaveToTheMastersSegmentAndPlace) {
    ShowRig master(masterWith({"100", "200", "300"}));
    ShowRig leftCued(slaveWith({"100", "200", "300"}));
    leftCued.feed({"DoNC2"});
    EXPECT_EQ(leftCued.moves(), QStringList({"setPositions 200 300", "pause"}));
    master.show->autoStart();
    EXPECT_TRUE(master.fireStart());
    leftCued.feed(master.sent());
    EXPECT_EQ(leftCued.moves(), QStringList({"setPositions 0 100", "pause", "run"}));

    master.media->config.position = 40;
    master.show->stop();
    ShowRig cameBack(slaveWith({"100", "200", "300"}));
    cameBack.moves();
    master.show->start();
    EXPECT_TRUE(master.fireStart());
    const QStringList start = master.sent();
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
TEST(ShowController, RestartLeavesASlaveThatWrappedByItselfWhereItPlays) {
    ShowRig slave(slaveWith({"100", "200"}));
    slave.moves();
    slave.feed({"DoNC1", "Play"});
    slave.complete();
    EXPECT_EQ(slave.moves(),
              QStringList({"setPositions 100 200", "pause", "run", "setPositions 0 100"}));
    slave.feed({"ReSt"});
    EXPECT_EQ(slave.moves(), QStringList());
    EXPECT_EQ(slave.show->model().selection, 0);

    // One that is still in its last segment when "ReSt" comes wraps on the command.
    slave.feed({"DoNC1", "Play"});
    slave.moves();
    slave.feed({"ReSt"});
    EXPECT_EQ(slave.moves(), QStringList({"setPositions 0 100"}));
}

// A remote control speaks to the Master: what moves the show reaches every screen, once, and
// what only places the Master (its list, a position) stays with it.
TEST(ShowController, AMasterPassesOnWhatMovesEveryScreenOnceAndKeepsItsOwnPlace) {
    ShowRig master(masterWith({"100", "200"}));
    master.show->start();
    master.sent();
    master.feed({"Stop"});
    EXPECT_EQ(master.sent(), QStringList({"Stop"}));
    // Its armed start went with it: nothing starts the show again behind the operator's back.
    EXPECT_FALSE(master.fireStart());
    EXPECT_EQ(master.moves().last(), QStringLiteral("stop"));

    master.feed({"Play", "Rewi", "DoNC1", "Rep0", "Ful1", "FSc0", "LGer"});
    EXPECT_EQ(master.sent(),
              QStringList({"Play", "Rewi", "DoNC1", "Rep0", "Ful1", "FSc0", "LGer"}));
    EXPECT_FALSE(master.show->model().loop);
    EXPECT_TRUE(master.show->model().fullScreenWanted);
    EXPECT_EQ(master.show->cuedSegment(), 1);
    EXPECT_TRUE(master.hooks.calls.contains(QStringLiteral("language 1")));

    master.feed({"Pos 40", "PoSe40", "ClLi", "SeLi70", "ReSt", "PlAt1000", "Join0,0,0", "Xyzw"});
    EXPECT_EQ(master.sent(), QStringList());
    EXPECT_EQ(master.show->model().syncPoints, QStringList({"70"}));

    // A Slave passes on nothing of what it receives.
    ShowRig slave(slaveWith({"100"}));
    slave.feed({"Stop", "Rep0", "Ful1", "DoNC0", "Play"});
    EXPECT_EQ(slave.sent(), QStringList());
}

// A Slave joins a segment that runs past the end of its shorter file: it is cued within its file,
// on the Master's frame while the file has it and on its last frame once the show is past it.
TEST(ShowController, ASlaveJoiningPastTheEndOfItsFileHoldsItsLastFrame) {
    Settings settings = slaveWith({"100", "1000"});
    settings.duration = 300;
    ShowRig slave(settings);
    slave.media->config.clock.shared = true;
    slave.media->config.clock.nowNs = 10'000'000'000;
    slave.media->config.frameNs = 40'000'000;
    slave.moves();
    // Shown now, cued for 700 ms (17 frames) from now.
    slave.feed({"Join1,150,10000000000"});
    EXPECT_EQ(slave.moves().mid(0, 1), QStringList({"setPositions 167 300"}));
    slave.feed({"Join1,500,10000000000"});
    EXPECT_EQ(slave.moves().mid(0, 1), QStringList({"setPositions 299 300"}));
}

// What arrives acts in the order it came. A position counts from the instance's own In point;
// one whose argument is no number moves nothing. A Slave's report is no command: it would take
// away the splash of a Master that waits for its first word.
TEST(ShowController, ReceivedCommandsActInOrderAndAReportIsNoCommand) {
    Settings settings = slaveWith({});
    settings.inPoint = 100;
    ShowRig slave(settings);
    slave.moves();
    slave.feed({"Pos abc"});
    EXPECT_EQ(slave.moves(), QStringList());
    slave.feed({"Pos -5"});
    EXPECT_EQ(slave.moves(), QStringList({"stop", "setPositions 95 1000", "pause"}));
    slave.feed({"Rep1", "Rep0", "Ful1"});
    EXPECT_FALSE(slave.show->model().loop);
    EXPECT_TRUE(slave.show->model().fullScreenWanted);

    slave.hooks.calls.clear();
    slave.feed({"sStacued|1|0|||0|0|1", "sErrx"});
    EXPECT_EQ(slave.hooks.calls, QStringList());
    slave.feed({"Nope"});
    EXPECT_EQ(slave.hooks.calls, QStringList({"arrived"}));
}

// A host that floods the Master with garbage and bad arguments must not write the event log
// full: the first is told, the one useful command among them runs and is told, and the rest of
// the second is one line with their count.
TEST(ShowController, AFloodOfUselessCommandsIsLoggedAsACountASecond) {
    ShowRig master(masterWith({}));
    TestClock clock;
    const LogCapture log(QStringLiteral("framelock.sync.info=true"));
    QStringList flood;
    for (int i = 0; i < 10000; ++i) {
        flood << QStringLiteral("Xyz1") << QStringLiteral("Pos abc");
    }
    master.feed(flood << QStringLiteral("Rep0"));
    EXPECT_FALSE(master.show->model().loop);
    EXPECT_EQ(master.sent(), QStringList({"Rep0"}));
    clock.advance(1000);
    const QString count = QStringLiteral("framelock.sync: 19999 more commands ignored");
    // The summary comes from a timer on the event loop, a real second after the flood.
    EXPECT_TRUE(waitFor([&] { return log.contains(count); }, 10000));
    const QStringList lines = log.lines(QStringLiteral("framelock.sync: "));
    ASSERT_EQ(lines.size(), 3) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines.mid(0, 2), QStringList({"framelock.sync: unknown command ignored: \"Xyz1\"",
                                            "framelock.sync: received Rep0"}));
    EXPECT_TRUE(lines[2].startsWith(count)) << lines[2].toStdString();
}

// A Slave's shared clock follows the Master at the address its link reached, not at a name
// looked up once more. A start announced far from the shared time is no start the Master made:
// the clock is dropped and learnt anew, and nothing starts until "Play".
TEST(ShowController, TheSlavesClockFollowsTheLinksAddressAndAFarStartRenewsIt) {
    ShowRig slave(slaveWith({"100"}));
    QStringList told;
    QObject::connect(slave.show.get(), &ShowController::clockRenewed,
                     [&](const QString& why) { told << why; });
    QObject::connect(slave.show.get(), &ShowController::clockSettled,
                     [&] { told << QStringLiteral("settled"); });
    slave.show->openSharedClock(8235, 0);
    slave.show->sharedClockLinked(QStringLiteral("10.0.0.7"));
    const std::vector<ClockSetup>& setups = slave.media->clockSetups;
    ASSERT_EQ(setups.size(), 2u);
    EXPECT_EQ(setups[0].masterHost, QString());
    EXPECT_EQ(setups[1].role, ClockSetup::Role::Follow);
    EXPECT_EQ(setups[1].masterHost, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(setups[1].port, 8235);

    constexpr std::int64_t nowNs = 50'000'000'000;
    SharedClockState& clock = slave.media->config.clock;
    clock.shared = clock.following = clock.settled = true;
    clock.nowNs = nowNs;
    slave.show->ClockTimerTimer();
    EXPECT_EQ(told, QStringList({"settled"}));
    slave.moves();
    slave.feed({QString::fromLatin1(SyncCommand::startAt(nowNs + 600'000'000'000))});
    EXPECT_EQ(slave.media->clockRenewals, 1);
    EXPECT_EQ(told.last(), QStringLiteral("a start announced 600.000 s from its now"));
    EXPECT_EQ(slave.moves(), QStringList());
    slave.show->ClockTimerTimer();
    EXPECT_EQ(told.last(), QStringLiteral("settled"));
}

}  // namespace

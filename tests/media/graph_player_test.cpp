#include <gtest/gtest.h>

#include "fake_media_service.h"
#include "media/graph_player.h"
#include "support/qt_printers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <functional>
#include <limits>

namespace {

// Stands in for the owner window: receives the media notification and hands it to the player,
// as the main window does.
class NotifyTarget : public QObject {
public:
    TGraphPlayer* player = nullptr;

    bool event(QEvent* event) override {
        if (event->type() == GraphNotifyEvent && player) {
            player->HandleMediaEvent();
            return true;
        }
        return QObject::event(event);
    }
};

class GraphPlayerTest : public testing::Test {
protected:
    GraphPlayerTest() {
        window.setObjectName(QStringLiteral("fFrameLock"));
        drain.setObjectName(QStringLiteral("drain"));
        auto service = std::make_unique<FakeMediaService>(log);
        fake = service.get();
        fake->config.drain = &drain;

        player = std::make_unique<TGraphPlayer>(std::move(service), &window);
        player->setFileName(QStringLiteral("/media/show/left.avi"));
        player->setOwnerPlace({700, 50});
        QObject::connect(player.get(), &TGraphPlayer::openFailed, [this](const QString& file) {
            // Whoever is told may run the event loop in a box: the file is forgotten by then.
            *log << QStringLiteral("openFailed ") + file +
                        (player->FileName().isEmpty() ? QString() : QStringLiteral(" still named"));
            if (whileMessageShown) {
                whileMessageShown();
            }
        });
        QObject::connect(player.get(), &TGraphPlayer::controlWindowWanted, [this](bool on) {
            *log << QStringLiteral("setVisible %1").arg(on)
                 << QStringLiteral("statusTimer %1").arg(on);
        });
        QObject::connect(player.get(), &TGraphPlayer::graphBuilt,
                         [this] { *log << QStringLiteral("rewindLocal"); });
        QObject::connect(player.get(), &TGraphPlayer::aboutToPlay,
                         [this] { *log << QStringLiteral("fullScreenOnPlay"); });
        QObject::connect(player.get(), &TGraphPlayer::rangeComplete, [this] {
            *log << QStringLiteral("segmentComplete");
            if (onSegmentComplete) {
                onSegmentComplete();
            }
        });
        window.player = player.get();
    }

    // Opens the file box's file and forgets what the open logged.
    void open() {
        player->OpenMedia();
        ASSERT_TRUE(player->MediaOpen());
        log->clear();
    }

    QStringList takeLog() {
        QStringList taken = *log;
        log->clear();
        return taken;
    }

    std::shared_ptr<QStringList> log = std::make_shared<QStringList>();
    NotifyTarget window;
    QObject drain;
    FakeMediaService* fake = nullptr;
    std::unique_ptr<TGraphPlayer> player;
    // What happens while the modal message box runs the event loop, and what the controller
    // does on completion.
    std::function<void()> whileMessageShown;
    std::function<void()> onSegmentComplete;
};

TEST_F(GraphPlayerTest, StartsClosedWithTheDocumentedDefaults) {
    EXPECT_FALSE(player->MediaOpen());
    EXPECT_EQ(player->DurationFrames(), 1);
    EXPECT_EQ(player->FrameUnit(), 1);
    EXPECT_FALSE(player->HasVideoWindow());
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_EQ(player->SavedMessageDrain(), nullptr);
}

TEST_F(GraphPlayerTest, OpeningAVideoBuildsTheGraphPlacesTheWindowLeftOfTheOwnerAndRewinds) {
    fake->config.duration = 1500;
    player->OpenMedia();

    EXPECT_TRUE(fake->holdsAll());
    EXPECT_EQ(fake->state.file, QStringLiteral("/media/show/left.avi"));
    EXPECT_EQ(fake->state.caption, QStringLiteral("frameLock PRO Video"));
    // Its right edge at the owner's left edge (700 - 640), one pixel below its top.
    EXPECT_EQ(fake->state.left, 60);
    EXPECT_EQ(fake->state.top, 51);
    EXPECT_EQ(fake->notifyWindow(), &window);
    EXPECT_EQ(takeLog().filter(QStringLiteral("rewindLocal")).size(), 1);
    EXPECT_TRUE(player->MediaOpen());
    EXPECT_TRUE(player->HasVideoWindow());
    EXPECT_EQ(player->FrameUnit(), 1);
    EXPECT_EQ(player->DurationFrames(), 1500);
    EXPECT_EQ(player->SavedMessageDrain(), &drain);
}

TEST_F(GraphPlayerTest, NothingHappensWithAnEmptyFileBoxOrWhenAFileIsAlreadyOpen) {
    player->setFileName(QString());
    player->OpenMedia();
    player->PlayMedia();
    EXPECT_TRUE(takeLog().isEmpty());

    player->setFileName(QStringLiteral("/media/show/left.avi"));
    open();
    player->OpenMedia();
    EXPECT_TRUE(takeLog().isEmpty());
}

TEST_F(GraphPlayerTest, AGraphThatCannotBeCreatedIsNeitherReportedNorRewound) {
    fake->config.createGraph = false;
    player->OpenMedia();
    EXPECT_EQ(takeLog(), QStringList({"createGraph"}));
    EXPECT_FALSE(player->MediaOpen());
}

TEST_F(GraphPlayerTest, AFileThatDoesNotRenderGivesOneMessageClearsTheBoxAndKeepsTheGraph) {
    fake->config.render = false;
    player->OpenMedia();
    const QStringList calls = takeLog();
    EXPECT_EQ(calls.mid(calls.size() - 2),
              QStringList({"openFailed /media/show/left.avi", "rewindLocal"}));
    EXPECT_FALSE(player->MediaOpen());
    EXPECT_TRUE(player->FileName().isEmpty());
    EXPECT_TRUE(fake->holds(MediaRef::MediaSeeking));

    // The forgotten file makes a following play do nothing at all.
    player->PlayMedia();
    EXPECT_TRUE(takeLog().isEmpty());

    // A new file replaces every reference still held (the double fails a reference overwritten
    // while held).
    fake->config.render = true;
    player->setFileName(QStringLiteral("/media/show/other.avi"));
    player->OpenMedia();
    EXPECT_TRUE(fake->holdsAll());
    EXPECT_EQ(fake->state.file, QStringLiteral("/media/show/other.avi"));
    EXPECT_TRUE(player->MediaOpen());
}

// A Play arriving while the error box is up (the box runs the event loop) must not render again
// or stack another box, even when the file would render now; afterwards no graph runs behind a
// player that believes the media closed.
TEST_F(GraphPlayerTest, APlayWhileTheErrorBoxIsUpNeitherRendersAgainNorOpensAnotherBox) {
    fake->config.render = false;
    int playsDuringTheBox = 0;
    whileMessageShown = [this, &playsDuringTheBox] {
        fake->config.render = true;
        player->setFileName(QStringLiteral("/media/show/left.avi"));
        for (; playsDuringTheBox < 3; ++playsDuringTheBox) {
            player->PlayMedia();
        }
    };
    player->PlayMedia();
    const QStringList calls = takeLog();
    EXPECT_EQ(playsDuringTheBox, 3);
    EXPECT_EQ(calls.filter(QStringLiteral("renderFile")).size(), 1);
    EXPECT_EQ(calls.filter(QStringLiteral("openFailed ")).size(), 1);
    EXPECT_EQ(calls.filter(QStringLiteral("createGraph")).size(), 1);
    EXPECT_FALSE(calls.contains(QStringLiteral("run")));
    EXPECT_FALSE(player->MediaOpen());

    // Once the box is gone, a Play opens the file now in the box as usual.
    whileMessageShown = nullptr;
    player->PlayMedia();
    EXPECT_TRUE(player->MediaOpen());
    EXPECT_TRUE(takeLog().endsWith(QStringLiteral("run")));
}

TEST_F(GraphPlayerTest, ALongPathIsHandedToTheServiceWhole) {
    const QString path = QStringLiteral("/media/installer/USB-STICK/") +
                         QString(120, QLatin1Char('x')) + QStringLiteral(".avi");
    player->setFileName(path);
    player->OpenMedia();
    EXPECT_TRUE(log->contains(QStringLiteral("renderFile ") + path));
    EXPECT_TRUE(player->MediaOpen());
}

TEST_F(GraphPlayerTest, AnAudioFileHasNoVideoWindowAndCannotGoFullScreen) {
    fake->config.caption = false;
    player->OpenMedia();
    const QStringList calls = takeLog();
    EXPECT_FALSE(calls.contains(QStringLiteral("width")));
    EXPECT_TRUE(calls.filter(QStringLiteral("putLeft")).isEmpty());
    EXPECT_TRUE(player->MediaOpen());
    EXPECT_FALSE(player->HasVideoWindow());

    player->SetFullScreen(true);
    EXPECT_TRUE(takeLog().isEmpty());
    EXPECT_FALSE(player->FullScreenActive());

    // Input routing is still asked for; the service ignores it.
    player->SetControlWindowVisible(false);
    EXPECT_EQ(takeLog(),
              QStringList({"setVisible 0", "statusTimer 0", "putMessageDrain fFrameLock"}));
}

TEST_F(GraphPlayerTest, MediaThatCannotCountFramesRunsAtTwentyFiveFramesASecond) {
    fake->config.frameFormat = false;
    fake->config.duration = 1'000'000'000 + 399'999;
    open();
    EXPECT_EQ(player->FrameUnit(), 400000);
    EXPECT_EQ(player->DurationFrames(), 2500);

    player->SeekToFrame(25);
    EXPECT_EQ(takeLog(), QStringList({"setPositions 10000000 1000000000"}));

    fake->config.position = 10'399'999;
    EXPECT_EQ(player->CurrentFrame(), 25);
}

TEST_F(GraphPlayerTest, ASeekAfterARangeRestoresTheStopAtTheEndOfTheMedia) {
    fake->config.duration = 900;
    open();
    player->SetPlayRange(100, 200);
    player->SeekToFrame(150);
    EXPECT_EQ(takeLog(), QStringList({"setPositions 100 200", "setPositions 150 900"}));
}

TEST_F(GraphPlayerTest, FramesFromTheWireSaturateInsteadOfOverflowing) {
    fake->config.frameFormat = false;
    fake->config.duration = std::int64_t{1000} * 400000;
    open();
    player->SeekToFrame(std::numeric_limits<std::int64_t>::max() / 1000);
    player->SetPlayRange(std::numeric_limits<std::int64_t>::min() / 1000, 0);
    const QStringList calls = takeLog();
    EXPECT_EQ(calls[0], QStringLiteral("setPositions %1 %2")
                            .arg(std::numeric_limits<std::int64_t>::max())
                            .arg(std::int64_t{1000} * 400000));
    EXPECT_EQ(calls[1],
              QStringLiteral("setPositions %1 0").arg(std::numeric_limits<std::int64_t>::min()));
}

// A start set ahead on the shared clock is reported when "Play" comes, on a loaded machine after
// the picture has moved on: it started where the media stood when it was set to run.
TEST_F(GraphPlayerTest, TheStartFrameIsWhereTheRunBeganHoweverFarItHasPlayedSince) {
    fake->config.duration = 900;
    open();
    player->SetPlayRange(60, 90);
    fake->config.position = 60;
    player->PlayMediaAt(1'000'000'000);
    fake->config.position = 62;
    EXPECT_EQ(player->StartFrame(), 60);
    // Told to run while it runs, it goes on: the start stays where it was.
    player->PlayMedia();
    fake->config.position = 63;
    EXPECT_EQ(player->StartFrame(), 60);

    // Placed anew, paused or stopped, it has not started from anywhere yet.
    player->SetPlayRange(30, 60);
    EXPECT_EQ(player->StartFrame(), 63);
    player->PlayMedia();
    fake->config.position = 70;
    EXPECT_EQ(player->StartFrame(), 63);
    player->PauseMedia();
    EXPECT_EQ(player->StartFrame(), 70);
    player->PlayMedia();
    fake->config.position = 75;
    player->StopMedia();
    EXPECT_EQ(player->StartFrame(), 75);
}

TEST_F(GraphPlayerTest, OperationsOnClosedMediaDoNothingButTheOwnerStillHidesAndShows) {
    player->StopMedia();
    player->PauseMedia();
    player->SeekToFrame(3);
    player->SetPlayRange(1, 2);
    player->SetFullScreen(true);
    player->CloseMedia();
    EXPECT_TRUE(takeLog().isEmpty());

    player->SetControlWindowVisible(false);
    EXPECT_EQ(takeLog(), QStringList({"setVisible 0", "statusTimer 0"}));
}

TEST_F(GraphPlayerTest, PlayOpensWhenNeededAndLetsTheControllerGoFullScreenBeforeRunning) {
    player->PlayMedia();
    QStringList calls = takeLog();
    // Reading where it starts from changes nothing.
    calls.removeAll(QStringLiteral("currentPosition"));
    ASSERT_GE(calls.size(), 3);
    EXPECT_EQ(calls.mid(calls.size() - 3), QStringList({"rewindLocal", "fullScreenOnPlay", "run"}));

    player->PauseMedia();
    player->StopMedia();
    EXPECT_EQ(takeLog(), QStringList({"pause", "stop"}));
}

TEST_F(GraphPlayerTest, CloseStopsAndReleasesEveryReference) {
    open();
    player->PlayMedia();
    player->CloseMedia();
    EXPECT_EQ(fake->state.transport, FakeMediaService::Transport::Stopped);
    EXPECT_TRUE(fake->holdsNone());
    EXPECT_FALSE(player->MediaOpen());
    // The other fields keep their values.
    EXPECT_TRUE(player->HasVideoWindow());
}

TEST_F(GraphPlayerTest, FullScreenHidesTheOwnerFirstAndShowsItBeforeLeaving) {
    open();
    player->SetFullScreen(true);
    EXPECT_EQ(takeLog(), QStringList({"setVisible 0", "statusTimer 0", "putMessageDrain fFrameLock",
                                      "putFullScreenMode -1"}));
    EXPECT_TRUE(player->FullScreenActive());

    player->SetFullScreen(false);
    EXPECT_EQ(takeLog(), QStringList({"setVisible 1", "statusTimer 1", "putMessageDrain drain",
                                      "putFullScreenMode 0"}));
    EXPECT_FALSE(player->FullScreenActive());
}

TEST_F(GraphPlayerTest, OneNotificationDrainsEveryEventEachFreedBeforeItIsActedOn) {
    open();
    fake->queueEvent(EC_COMPLETE);
    fake->queueEvent(99);
    fake->queueEvent(EC_COMPLETE);
    // The first notification takes all three; completion neither stops nor pauses the graph.
    // The two notifications left over find an empty queue.
    QCoreApplication::sendPostedEvents(&window, GraphNotifyEvent);
    EXPECT_EQ(takeLog(),
              QStringList({"getEvent 1", "freeEventParams 1", "segmentComplete", "getEvent 99",
                           "freeEventParams 99", "getEvent 1", "freeEventParams 1",
                           "segmentComplete", "getEvent none", "getEvent none", "getEvent none"}));
}

TEST_F(GraphPlayerTest, UserAbortClosesTheMediaAndLeavesTheRestUnread) {
    open();
    fake->queueEvent(EC_USERABORT);
    fake->queueEvent(EC_COMPLETE);
    player->PlayMedia();
    player->HandleMediaEvent();
    EXPECT_FALSE(takeLog().contains(QStringLiteral("segmentComplete")));
    EXPECT_EQ(fake->state.unfreedEvents, 0);
    EXPECT_EQ(fake->state.transport, FakeMediaService::Transport::Stopped);
    EXPECT_EQ(fake->queuedEvents(), 1u);
    EXPECT_FALSE(player->MediaOpen());

    // Without the event reference there is nothing left to ask.
    player->HandleMediaEvent();
    EXPECT_TRUE(takeLog().isEmpty());
}

TEST_F(GraphPlayerTest, ClosingTheFullScreenVideoWindowBringsTheOwnerBack) {
    open();
    player->SetFullScreen(true);
    takeLog();
    fake->queueEvent(EC_USERABORT);
    player->HandleMediaEvent();
    const QStringList calls = takeLog();
    EXPECT_EQ(calls.mid(0, 6), QStringList({"getEvent 2", "freeEventParams 2", "setVisible 1",
                                            "statusTimer 1", "putMessageDrain drain", "stop"}));
    EXPECT_FALSE(calls.contains(QStringLiteral("putFullScreenMode 0")));
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_FALSE(player->MediaOpen());
}

TEST_F(GraphPlayerTest, FullScreenLostBringsTheOwnerBackWithoutLeavingFullScreenAgain) {
    open();
    player->SetFullScreen(true);
    takeLog();
    fake->queueEvent(EC_FULLSCREEN_LOST);
    player->HandleMediaEvent();
    EXPECT_EQ(takeLog(), QStringList({"getEvent 18", "freeEventParams 18", "setVisible 1",
                                      "statusTimer 1", "putMessageDrain drain", "getEvent none"}));
    EXPECT_FALSE(player->FullScreenActive());
}

// The graph breaks while a range plays: the same file is opened again without a rewind, cued at
// the range it was playing, and the range counts as complete. The controller's next range then
// plays at once, as after a normal end.
TEST_F(GraphPlayerTest, AFailureWhilePlayingReopensTheFileAndCompletesTheRange) {
    open();
    player->SetPlayRange(100, 200);
    player->PlayMedia();
    takeLog();
    onSegmentComplete = [this] { player->SetPlayRange(200, 300); };
    fake->queueEvent(EC_ERRORABORT);
    player->HandleMediaEvent();
    // The same file, without a rewind: the range is complete, not begun again.
    EXPECT_TRUE(fake->holdsAll());
    EXPECT_EQ(fake->state.file, QStringLiteral("/media/show/left.avi"));
    EXPECT_EQ(fake->state.unfreedEvents, 0);
    const QStringList calls = takeLog();
    EXPECT_EQ(calls.filter(QStringLiteral("segmentComplete")).size(), 1);
    EXPECT_FALSE(calls.contains(QStringLiteral("rewindLocal")));
    // The controller's next range plays at once.
    EXPECT_EQ(fake->state.start, 200);
    EXPECT_EQ(fake->state.stop, 300);
    EXPECT_EQ(fake->state.transport, FakeMediaService::Transport::Running);
    EXPECT_TRUE(player->MediaOpen());

    // A controller that holds (a Slave waiting for the next cue) leaves the new graph paused.
    onSegmentComplete = nullptr;
    fake->queueEvent(EC_ERRORABORT);
    player->HandleMediaEvent();
    EXPECT_EQ(takeLog().filter(QStringLiteral("segmentComplete")).size(), 1);
    EXPECT_EQ(fake->state.start, 200);
    EXPECT_EQ(fake->state.stop, 300);
    EXPECT_EQ(fake->state.transport, FakeMediaService::Transport::Paused);
}

// A file that fails while it plays and comes back cut short (a stub that still opens, a copy
// under way) is opened again once it has changed, at a moment its picture stands still, cued
// where it was; whole again, it is watched no more.
TEST_F(GraphPlayerTest, AFileThatCameBackCutShortIsOpenedAgainOnceItChanged) {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("show.avi"));
    player->setFileName(path);
    const auto writeFile = [&path](qsizetype bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(QByteArray(bytes, 'v')), bytes);
    };
    // Runs the event loop: until `done`, or for a while to see that nothing happens.
    const auto runLoop = [](const std::function<bool()>& done, int ms) {
        const QDeadlineTimer deadline(ms);
        while (!(done && done()) && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
    };
    const auto reopened = [this] {
        return !takeLog().filter(QStringLiteral("renderFile")).isEmpty();
    };
    writeFile(5000);
    fake->config.duration = 500;
    open();
    player->setCutShortCheckMs(5);
    player->SetPlayRange(100, 200);
    player->PlayMedia();

    writeFile(50);
    fake->config.duration = 1;
    fake->queueEvent(EC_ERRORABORT);
    player->HandleMediaEvent();
    ASSERT_TRUE(player->MediaOpen());
    ASSERT_EQ(player->DurationFrames(), 1);
    takeLog();
    // The stub as it came back is not opened again and again.
    runLoop(nullptr, 100);
    EXPECT_FALSE(reopened());

    // Whole again while the picture moves: the show is not cut off.
    player->PlayMedia();
    writeFile(5000);
    fake->config.duration = 500;
    runLoop(nullptr, 100);
    EXPECT_FALSE(reopened());
    // Cued, it stands still: opened again where it was cued.
    player->SetPlayRange(200, 300);
    player->PauseMedia();
    takeLog();
    bool again = false;
    runLoop([&] { return again = again || reopened(); }, 20000);
    EXPECT_TRUE(again);
    EXPECT_EQ(player->DurationFrames(), 500);
    EXPECT_EQ(fake->state.start, 200);
    EXPECT_EQ(fake->state.stop, 300);
    EXPECT_EQ(fake->state.transport, FakeMediaService::Transport::Paused);

    // Whole, it is left alone however it changes.
    writeFile(6000);
    runLoop(nullptr, 100);
    EXPECT_FALSE(reopened());
}

TEST_F(GraphPlayerTest, AFailureWhileCuedOrFullScreenKeepsTheCueAndTheScreen) {
    open();
    player->SetPlayRange(100, 200);
    player->PauseMedia();
    player->SetFullScreen(true);
    takeLog();
    fake->queueEvent(EC_ERRORABORT);
    player->HandleMediaEvent();
    const QStringList calls = takeLog();
    EXPECT_FALSE(calls.contains(QStringLiteral("segmentComplete")));
    EXPECT_FALSE(calls.contains(QStringLiteral("rewindLocal")));
    EXPECT_FALSE(calls.contains(QStringLiteral("setVisible 1")));
    EXPECT_EQ(calls.mid(calls.size() - 7),
              QStringList({"setPositions 100 200", "pause", "setVisible 0", "statusTimer 0",
                           "putMessageDrain fFrameLock", "putFullScreenMode -1", "getEvent none"}));
    EXPECT_TRUE(player->FullScreenActive());

    // A file that no longer renders: one message, and the owner comes back.
    fake->config.render = false;
    fake->queueEvent(EC_ERRORABORT);
    player->HandleMediaEvent();
    const QStringList failed = takeLog();
    EXPECT_EQ(failed.filter(QStringLiteral("openFailed ")).size(), 1);
    EXPECT_TRUE(failed.contains(QStringLiteral("setVisible 1")));
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_FALSE(player->MediaOpen());
}

TEST_F(GraphPlayerTest, AnUnreadableDurationLeavesTheMediaClosedAndTheNextPlayTriesAgain) {
    fake->config.durationOk = false;
    player->OpenMedia();
    EXPECT_FALSE(player->MediaOpen());
    EXPECT_TRUE(takeLog().filter(QStringLiteral("openFailed ")).isEmpty());
    EXPECT_EQ(player->DurationFrames(), 0);

    fake->config.durationOk = true;
    player->PlayMedia();
    EXPECT_TRUE(player->MediaOpen());
    EXPECT_TRUE(takeLog().endsWith(QStringLiteral("run")));
}

TEST_F(GraphPlayerTest, TheDisplayIsKeptAwakeExactlyWhileMediaIsOpen) {
    fake->config.render = false;
    player->OpenMedia();
    EXPECT_FALSE(fake->displayKeptAwake) << "a file that did not open";
    player->setFileName(QStringLiteral("/media/show/left.avi"));
    fake->config.render = true;
    fake->config.durationOk = false;
    player->OpenMedia();
    EXPECT_FALSE(fake->displayKeptAwake) << "media left closed for an unreadable duration";

    fake->config.durationOk = true;
    open();
    EXPECT_TRUE(fake->displayKeptAwake);
    player->CloseMedia();
    EXPECT_FALSE(fake->displayKeptAwake);

    open();
    fake->queueEvent(EC_USERABORT);
    player->HandleMediaEvent();
    EXPECT_FALSE(fake->displayKeptAwake) << "video window closed by the user";
}

TEST_F(GraphPlayerTest, DestroyingThePlayerReleasesWhatAFailedOpenLeftHeld) {
    fake->config.render = false;
    player->OpenMedia();
    takeLog();
    player.reset();
    EXPECT_EQ(takeLog(),
              QStringList({"release MediaSeeking", "release VideoWindow", "release MediaEvent",
                           "release MediaControl", "release GraphBuilder"}));
}

}  // namespace

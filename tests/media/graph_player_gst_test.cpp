// The player on the real GStreamer service, with an owner window as the program has one.

#include "player_on_gstreamer.h"
#include "support/log_capture.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <limits>

namespace {

TEST_F(GraphPlayerOnGstreamer, AudioOnlyFileOpensWithoutWindowInHundredNanosecondUnits) {
    player->setFileName(clipPath(clip(ClipFormat::Wav, 100)));
    player->OpenMedia();
    EXPECT_TRUE(player->MediaOpen());
    EXPECT_FALSE(player->HasVideoWindow());
    EXPECT_EQ(player->FrameUnit(), 400000);
    EXPECT_EQ(player->DurationFrames(), 100);
    player->SetFullScreen(true);
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_TRUE(owner.isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(GraphPlayerOnGstreamer, FileThatDoesNotRenderGivesExactlyOneMessageAndClearsTheFileBox) {
    player->setFileName(tempPath(QStringLiteral("readme.mp3")));
    QFile file(player->FileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a sound\n");
    file.close();

    player->OpenMedia();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("ErrMsg_OpenFile"));
    EXPECT_EQ(dialogs.messages[0].flags, 16);
    EXPECT_TRUE(player->FileName().isEmpty());
    EXPECT_FALSE(player->MediaOpen());
    player->PlayMedia();
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(GraphPlayerOnGstreamer, VideoOpensLeftOfTheOwnerAndPlaysARangeToCompletion) {
    player->setFileName(clipPath(clip(ClipFormat::H264Mp4, 300, 30000, 1001)));
    player->OpenMedia();
    ASSERT_TRUE(player->MediaOpen());
    EXPECT_TRUE(player->HasVideoWindow());
    EXPECT_EQ(player->FrameUnit(), 1);
    EXPECT_EQ(player->DurationFrames(), 300);
    VideoWindow* window = videoWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("frameLock PRO Video"));
    // A window manager frames the window after it is shown; the frame then moves into place.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry().top() == 51; }, 3000));
    EXPECT_EQ(window->frameGeometry().right() + 1, 700);
    EXPECT_EQ(window->frameGeometry().top(), 51);

    // The rewind after opening cued frame 0; its preroll may still be on its way.
    player->StopMedia();
    player->SeekToFrame(277);
    player->PauseMedia();
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.lastPreroll() == 277; }, 10000))
        << "shows " << probe.lastPreroll().value_or(-1);
    EXPECT_EQ(player->CurrentFrame(), 277);

    player->SetPlayRange(100, 110);
    probe.clearPlayed();
    player->PlayMedia();
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.completions == 1; }, 10000));
    EXPECT_EQ(probe.played().front(), 100);
    EXPECT_EQ(probe.played().back(), 109);
    EXPECT_EQ(player->CurrentFrame(), 109);
}

TEST_F(GraphPlayerOnGstreamer, FullScreenHidesTheOwnerAndBackShowsIt) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 100)));
    player->OpenMedia();
    ASSERT_TRUE(player->HasVideoWindow());
    VideoWindow* window = videoWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    player->SetFullScreen(true);
    EXPECT_TRUE(player->FullScreenActive());
    EXPECT_FALSE(owner.isVisible());
    EXPECT_EQ(service->messageDrain(), &owner);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return window->geometry() == window->screen()->geometry(); }, 3000));
    // The owner is hidden: its key commands and double click come from the video window.
    QTest::keyClick(window, Qt::Key_F5);
    QTest::mouseDClick(window, Qt::LeftButton);
    EXPECT_EQ(owner.keys, std::vector<int>{Qt::Key_F5});
    EXPECT_EQ(owner.doubleClicks, 1);

    player->SetFullScreen(false);
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_TRUE(owner.isVisible());
    EXPECT_EQ(service->messageDrain(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == QSize(320, 240); }, 3000));
}

TEST_F(GraphPlayerOnGstreamer, LosingFullScreenBringsTheOwnerBack) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 100)));
    player->OpenMedia();
    VideoWindow* window = videoWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    player->SetFullScreen(true);
    window->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !player->FullScreenActive(); }, 3000));
    EXPECT_TRUE(owner.isVisible());
}

TEST_F(GraphPlayerOnGstreamer, ClosingTheVideoWindowClosesTheMedia) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 100)));
    player->OpenMedia();
    VideoWindow* window = videoWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !player->MediaOpen(); }, 3000));
    EXPECT_EQ(videoWindow(), nullptr);
    // The file stays in the box: the next Play opens it again.
    player->PlayMedia();
    EXPECT_TRUE(player->MediaOpen());
}

// Frame numbers from the wire at the ends of the 64-bit range ("Pos " with any number): they
// reach GStreamer saturated, with no overflow on the way, and the media still obeys afterwards.
TEST_F(GraphPlayerOnGstreamer, TheLargestFrameNumbersReachTheGraphWithoutOverflow) {
    constexpr std::int64_t Latest = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t Earliest = std::numeric_limits<std::int64_t>::min();
    for (const ClipFormat format : {ClipFormat::Wav, ClipFormat::MjpegAvi}) {
        SCOPED_TRACE(formatName(format));
        player->CloseMedia();
        player->setFileName(clipPath(clip(format, 100)));
        player->OpenMedia();
        ASSERT_TRUE(player->MediaOpen());
        player->StopMedia();
        for (const std::int64_t frame : {Latest, Earliest, std::int64_t{300'000'000'000},
                                         Latest / 400'000 + 1, Latest / 100}) {
            player->SeekToFrame(frame);
            player->SetPlayRange(frame, Latest);
            player->SetPlayRange(Earliest, frame);
            player->SetPlayRange(frame, frame);
        }
        player->PauseMedia();
        player->SeekToFrame(40);
        player->PauseMedia();
        EXPECT_TRUE(QTest::qWaitFor([&] { return player->CurrentFrame() == 40; }, 10000))
            << "at " << player->CurrentFrame();
    }
}

// The sink refuses a picture in the middle of a range (a display gone, a decoder failing): the
// show goes on. The failure is logged with the file and the element, the file is opened again,
// the range counts as complete so the controller moves on, and its next range plays at once.
TEST_F(GraphPlayerOnGstreamer, AFailureWhilePlayingReopensTheFileAndTheShowMovesOn) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 100)));
    player->OpenMedia();
    ASSERT_TRUE(player->MediaOpen());
    owner.onCompletion = [this] {
        if (owner.completions == 1) {
            player->SetPlayRange(60, 70);
        }
    };
    player->SetPlayRange(10, 50);
    probe.failOnceFrom(30);
    const LogCapture log;
    player->PlayMedia();
    const bool completed = QTest::qWaitFor([&] { return owner.completions == 2; }, 15000);
    ASSERT_TRUE(completed) << "completions " << owner.completions;

    const std::vector<std::int64_t> played = probe.played();
    ASSERT_GE(played.size(), 10u);
    EXPECT_EQ(std::vector<std::int64_t>(played.end() - 10, played.end()),
              std::vector<std::int64_t>({60, 61, 62, 63, 64, 65, 66, 67, 68, 69}));
    EXPECT_LT(std::count(played.begin(), played.end(), 30), 1);
    EXPECT_TRUE(player->MediaOpen());
    EXPECT_TRUE(player->HasVideoWindow());
    EXPECT_EQ(player->FileName(), clipPath(clip(ClipFormat::MjpegAvi, 100)));
    EXPECT_TRUE(dialogs.messages.empty());
    // Each element that stops streaming reports; the first names the file and the element.
    const QStringList failures = log.lines(QStringLiteral("failed in"));
    ASSERT_FALSE(failures.isEmpty()) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(failures[0].contains(player->FileName())) << failures[0].toStdString();
    EXPECT_TRUE(failures[0].contains(QStringLiteral("/GstPlayBin"))) << failures[0].toStdString();
    EXPECT_EQ(log.lines(QStringLiteral("opened again")).size(), 1);
}

// The file is cut short while a range plays: the range ends far before its frames. That is a
// failure of the media, recovered as one (reopened, cued, reported once), not a completion the
// show would answer with the next cue every sync time. Whole again, it is played whole.
TEST_F(GraphPlayerOnGstreamer, AFileCutShortWhilePlayingIsReopenedAsAFailure) {
    const QString copy = tempPath(QStringLiteral("cut-short.avi"));
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(clipPath(clip(ClipFormat::MjpegAvi, 250)), copy));
    player->setFileName(copy);
    player->OpenMedia();
    ASSERT_TRUE(player->MediaOpen());
    player->SetPlayRange(0, 240);
    const LogCapture log;
    player->PlayMedia();
    const bool playing = QTest::qWaitFor([&] { return probe.played().size() >= 5; }, 10000);
    QFile file(copy);
    const bool cut = file.resize(file.size() / 5);
    const bool completed = QTest::qWaitFor([&] { return owner.completions == 1; }, 15000);
    QTest::qWait(200);
    ASSERT_TRUE(playing && cut && completed) << "completions " << owner.completions;

    EXPECT_TRUE(player->MediaOpen());
    EXPECT_EQ(log.lines(QStringLiteral("file changed")).size(), 1)
        << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log.lines(QStringLiteral("opened again")).size(), 1);
    EXPECT_EQ(owner.completions, 1);

    // The stub that came back opened; made whole again, it is read anew once the picture stands
    // still at the next cue, all of it.
    ASSERT_LT(player->DurationFrames(), 250);
    player->setCutShortCheckMs(50);
    ASSERT_TRUE(QFile::remove(copy));
    ASSERT_TRUE(QFile::copy(clipPath(clip(ClipFormat::MjpegAvi, 250)), copy));
    player->SetPlayRange(0, 240);
    player->PauseMedia();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->DurationFrames() == 250; }, 15000))
        << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(player->MediaOpen());
}

}  // namespace

// Weeks of unattended running: media opened, played and closed again and again must give back
// the pipeline's threads, its descriptors and the video window each time.
TEST_F(GraphPlayerOnGstreamer, OpenPlayCloseCyclesGiveBackDescriptorsAndThreads) {
    player->setFileName(clipPath(clip(ClipFormat::H264Mp4, 50)));
    const auto cycle = [&] {
        player->OpenMedia();
        ASSERT_TRUE(player->MediaOpen());
        ASSERT_TRUE(player->HasVideoWindow());
        player->PlayMedia();
        QTest::qWait(20);
        player->CloseMedia();
        ASSERT_FALSE(player->MediaOpen());
        ASSERT_EQ(videoWindow(), nullptr);
    };
    // GStreamer keeps a few idle streaming threads for reuse; two cycles fill that pool.
    cycle();
    cycle();
    const ProcessBaseline baseline;
    const int windows = static_cast<int>(QApplication::topLevelWidgets().size());
    for (int count = 0; count < 50 && !HasFatalFailure(); ++count) {
        cycle();
    }
    baseline.expectGivenBack();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    EXPECT_TRUE(dialogs.messages.empty());
}

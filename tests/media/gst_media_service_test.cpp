#include "media/gst/gst_media_service.h"
#include "media_test_support.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <thread>

namespace {

struct VideoCase {
    const char* name;
    ClipSettings clip;
};

ClipSettings videoClip(ClipFormat format, std::int64_t frames, int fpsN = 25, int fpsD = 1) {
    ClipSettings clip;
    clip.format = format;
    clip.frames = frames;
    clip.fpsNumerator = fpsN;
    clip.fpsDenominator = fpsD;
    return clip;
}

void releaseGraph(MediaService& service) {
    for (MediaRef ref : {MediaRef::MediaSeeking, MediaRef::VideoWindow, MediaRef::MediaEvent,
                         MediaRef::MediaControl, MediaRef::GraphBuilder}) {
        service.release(ref);
    }
}

// Seeks paused and waits for the new preroll; the frame the sink received.
std::optional<std::int64_t> cue(MediaService& service, FrameProbe& probe, std::int64_t frame,
                                std::int64_t stop) {
    const int before = probe.prerollCount();
    service.setPositions(frame, stop);
    if (!QTest::qWaitFor([&] { return probe.prerollCount() > before; }, 10000)) {
        return std::nullopt;
    }
    return probe.lastPreroll();
}

std::vector<std::int64_t> range(std::int64_t first, std::int64_t stop) {
    std::vector<std::int64_t> frames;
    for (std::int64_t f = first; f < stop; ++f) {
        frames.push_back(f);
    }
    return frames;
}

// The frames a probe saw played. DV is interlaced and deinterlaced field by field, so each of
// its frames arrives twice, once per field.
std::vector<std::int64_t> played(const FrameProbe& probe, const ClipSettings& clip) {
    std::vector<std::int64_t> frames = probe.played();
    if (clip.format == ClipFormat::DvAvi) {
        frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    }
    return frames;
}

class VideoFormats : public testing::TestWithParam<VideoCase> {};

// For every container and codec: the frame count and frame rate are the file's own, a seek
// to any frame prerolls exactly that frame, and a range plays exactly its frames, ends with
// EC_COMPLETE, and a range set at the old stop plays without another run.
TEST_P(VideoFormats, SeeksAndRangesAreFrameExact) {
    const ClipSettings clip = normalized(GetParam().clip);
    FrameProbe probe;
    GstMediaService service(probeOptions(probe));
    NotifyRecorder target;
    ASSERT_TRUE(openGraph(service, clipPath(clip)));
    service.setNotifyWindow(&target, GraphNotifyEvent, 0);
    ASSERT_TRUE(service.putCaption(QStringLiteral("frameLock PRO Video")));
    ASSERT_TRUE(service.setTimeFormatFrame());
    std::int64_t frames = 0;
    ASSERT_TRUE(service.duration(frames));
    EXPECT_EQ(frames, clip.frames);
    service.pause();

    std::mt19937 random(static_cast<unsigned>(clip.frames + clip.fpsNumerator));
    std::uniform_int_distribution<std::int64_t> pick(0, clip.frames - 1);
    std::vector<std::int64_t> targets{clip.frames - 1, 1};
    for (int i = 0; i < 6; ++i) {
        targets.push_back(pick(random));
    }
    for (std::int64_t frame : targets) {
        EXPECT_EQ(cue(service, probe, frame, frames), frame) << "seek to " << frame;
        EXPECT_EQ(service.currentPosition(), frame);
    }

    const std::int64_t start = clip.frames / 2;
    ASSERT_EQ(cue(service, probe, start, start + 6), start);
    probe.clearPlayed();
    drainEvents(service);
    service.run();
    ASSERT_TRUE(waitForEvent(service, target, EC_COMPLETE, 10000));
    EXPECT_EQ(played(probe, clip), range(start, start + 6));
    EXPECT_EQ(service.currentPosition(), start + 5);

    probe.clearPlayed();
    service.setPositions(start + 6, start + 10);
    ASSERT_TRUE(waitForEvent(service, target, EC_COMPLETE, 10000));
    EXPECT_EQ(played(probe, clip), range(start + 6, start + 10));
    releaseGraph(service);
}

INSTANTIATE_TEST_SUITE_P(
    Media, VideoFormats,
    testing::Values(VideoCase{"MjpegAvi", videoClip(ClipFormat::MjpegAvi, 100)},
                    VideoCase{"MjpegAvi30", videoClip(ClipFormat::MjpegAvi, 90, 30)},
                    VideoCase{"RawAvi", videoClip(ClipFormat::RawAvi, 60)},
                    VideoCase{"DvAvi", videoClip(ClipFormat::DvAvi, 50)},
                    VideoCase{"H264Mp4", videoClip(ClipFormat::H264Mp4, 300)},
                    VideoCase{"H264Mp4Ntsc", videoClip(ClipFormat::H264Mp4, 300, 30000, 1001)}),
    [](const testing::TestParamInfo<VideoCase>& info) { return std::string(info.param.name); });

class AudioFormats : public testing::TestWithParam<ClipFormat> {};

// Sound only: no video window, no frame format, positions in 100 ns, ranges still complete.
TEST_P(AudioFormats, PlayInHundredNanosecondUnitsWithoutAWindow) {
    FrameProbe probe;
    GstMediaService service(probeOptions(probe));
    NotifyRecorder target;
    ASSERT_TRUE(openGraph(service, clipPath(videoClip(GetParam(), 100))));
    service.setNotifyWindow(&target, GraphNotifyEvent, 0);
    EXPECT_FALSE(service.putCaption(QStringLiteral("frameLock PRO Video")));
    EXPECT_FALSE(service.setTimeFormatFrame());
    EXPECT_EQ(service.graph()->videoWindow(), nullptr);
    std::int64_t duration = 0;
    ASSERT_TRUE(service.duration(duration));
    // Four seconds; MP3 adds the encoder's padding.
    EXPECT_NEAR(static_cast<double>(duration), 40'000'000.0, 1'500'000.0);

    service.pause();
    service.setPositions(10'000'000, 12'000'000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return service.currentPosition() == 10'000'000; }, 5000));
    service.run();
    EXPECT_TRUE(waitForEvent(service, target, EC_COMPLETE, 10000));
    releaseGraph(service);
}

INSTANTIATE_TEST_SUITE_P(Media, AudioFormats, testing::Values(ClipFormat::Wav, ClipFormat::Mp3),
                         [](const testing::TestParamInfo<ClipFormat>& info) {
                             return info.param == ClipFormat::Wav ? "Wav" : "Mp3";
                         });

// Replaces every occurrence of `from` in a file by `to` (same length).
void patchFile(const QString& path, const QByteArray& from, const QByteArray& to) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray data = file.readAll();
    ASSERT_TRUE(data.contains(from));
    data.replace(from, to);
    file.seek(0);
    file.write(data);
}

TEST(GstMediaService, RefusesFilesThatDoNotRenderCompletely) {
    FrameProbe probe;
    GstMediaService service(probeOptions(probe));

    const QString text = tempPath(QStringLiteral("notes.avi"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    EXPECT_FALSE(openGraph(service, text));
    EXPECT_FALSE(openGraph(service, tempPath(QStringLiteral("missing.avi"))));
    EXPECT_FALSE(openGraph(service, QString()));

    // Video and sound where no decoder knows the video: the sound alone would preroll, but a
    // partial rendering is a failure.
    ClipSettings clip = videoClip(ClipFormat::MjpegAvi, 25);
    clip.withAudio = true;
    const QString whole = clipPath(clip);
    EXPECT_TRUE(openGraph(service, whole));
    const QString partial = tempPath(QStringLiteral("unknown-codec.avi"));
    ASSERT_TRUE(QFile::copy(whole, partial));
    patchFile(partial, "MJPG", "QZX7");
    EXPECT_FALSE(openGraph(service, partial));
    EXPECT_FALSE(service.setTimeFormatFrame());
    releaseGraph(service);
}

TEST(GstMediaService, GraphLivesWhileAnyReferenceIsHeld) {
    FrameProbe probe;
    GstMediaService service(probeOptions(probe));
    ASSERT_TRUE(openGraph(service, clipPath(videoClip(ClipFormat::MjpegAvi, 100))));
    service.release(MediaRef::GraphBuilder);
    ASSERT_TRUE(service.createGraph());
    // The old graph still answers through the references taken from it.
    EXPECT_TRUE(service.putCaption(QStringLiteral("old")));
    service.query(MediaRef::VideoWindow);
    EXPECT_FALSE(service.putCaption(QStringLiteral("new")));
    releaseGraph(service);
    EXPECT_EQ(service.graph(MediaRef::MediaControl), nullptr);
}

class VideoWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(openGraph(service, clipPath(videoClip(ClipFormat::MjpegAvi, 100))));
        service.setNotifyWindow(&target, GraphNotifyEvent, 0);
        ASSERT_TRUE(service.putCaption(QStringLiteral("frameLock PRO Video")));
        window = service.graph()->videoWindow();
        service.pause();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    void TearDown() override { releaseGraph(service); }

    FrameProbe probe;
    GstMediaService service{probeOptions(probe)};
    NotifyRecorder target;
    VideoWindow* window = nullptr;
};

TEST_F(VideoWindowTest, StandsWhereItIsPutAtNaturalSize) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("frameLock PRO Video"));
    EXPECT_EQ(window->size(), QSize(320, 240));
    EXPECT_EQ(service.width(), window->frameGeometry().width());
    service.putLeft(60);
    service.putTop(51);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->pos() == QPoint(60, 51); }, 2000));
}

TEST_F(VideoWindowTest, ClosingItQueuesUserAbort) {
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return target.notifications > 0; }, 2000));
    EXPECT_EQ(drainEvents(service), std::vector<long>{EC_USERABORT});
}

TEST_F(VideoWindowTest, FullScreenCoversItsScreenAndComesBack) {
    const QRect windowed = window->geometry();
    service.putFullScreenMode(true);
    const QRect screen = window->screen()->geometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->geometry() == screen; }, 3000))
        << "full screen at " << window->x() << "," << window->y() << " " << window->width();
    service.putFullScreenMode(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->geometry() == windowed; }, 3000));
    EXPECT_TRUE(drainEvents(service).empty());
}

TEST_F(VideoWindowTest, LeavingFullScreenFromOutsideQueuesFullScreenLost) {
    service.putFullScreenMode(true);
    // What a window manager does when the user leaves full screen with its key binding.
    window->setWindowState(Qt::WindowNoState);
    EXPECT_FALSE(window->fullScreenMode());
    EXPECT_TRUE(QTest::qWaitFor([&] { return target.notifications > 0; }, 2000));
    EXPECT_EQ(drainEvents(service), std::vector<long>{EC_FULLSCREEN_LOST});
}

TEST_F(VideoWindowTest, KeysAndDoubleClicksReachTheMessageDrainWhenOneIsSet) {
    NotifyRecorder drain;
    EXPECT_EQ(service.messageDrain(), nullptr);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(drain.inputs.empty());

    service.putMessageDrain(&drain);
    EXPECT_EQ(service.messageDrain(), &drain);
    QTest::keyClick(window, Qt::Key_F2);
    QTest::mouseDClick(window, Qt::LeftButton);
    EXPECT_EQ(drain.inputs, (std::vector<QEvent::Type>{QEvent::KeyPress, QEvent::KeyRelease,
                                                       QEvent::MouseButtonDblClick}));
}

// The real sink in the real window: the frame a seek lands on is what the X server shows.
TEST(GstMediaServiceWindow, DefaultSinkShowsTheCuedFrameInTheWindow) {
    GstGraphOptions options;
    options.audioSink = [] { return gst_element_factory_make("fakesink", nullptr); };
    GstMediaService service(options);
    ASSERT_TRUE(openGraph(service, clipPath(videoClip(ClipFormat::DvAvi, 50))));
    ASSERT_TRUE(service.setTimeFormatFrame());
    VideoWindow* window = service.graph()->videoWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(768, 576));  // PAL with its 16:15 pixels
    service.pause();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    for (std::int64_t frame : {17, 3, 42}) {
        service.setPositions(frame, 50);
        EXPECT_TRUE(QTest::qWaitFor([&] { return frameInWindow(window) == frame; }, 5000))
            << "frame " << frame << " shows " << frameInWindow(window).value_or(-1);
    }
    releaseGraph(service);
}

// A saved graph is a pipeline text; its own sink draws into our window.
TEST(GstMediaServiceWindow, SavedGraphPlaysItsPipelineInOurWindow) {
    const QString clip = clipPath(videoClip(ClipFormat::MjpegAvi, 100));
    const QString graphFile = tempPath(QStringLiteral("saved.grf"));
    QFile file(graphFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("filesrc location=\"" + clip.toUtf8() +
               "\" ! avidemux ! jpegdec ! videoconvert ! ximagesink\n");
    file.close();

    GstMediaService service;
    ASSERT_TRUE(openGraph(service, graphFile));
    ASSERT_TRUE(service.putCaption(QStringLiteral("frameLock PRO Video")));
    ASSERT_TRUE(service.setTimeFormatFrame());
    std::int64_t frames = 0;
    ASSERT_TRUE(service.duration(frames));
    EXPECT_EQ(frames, 100);
    VideoWindow* window = service.graph()->videoWindow();
    service.pause();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    service.setPositions(64, frames);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frameInWindow(window) == 64; }, 5000));
    releaseGraph(service);

    QFile broken(tempPath(QStringLiteral("broken.grf")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("filesrc ! nosuchelement ! fakesink");
    broken.close();
    EXPECT_FALSE(openGraph(service, broken.fileName()));
}

}  // namespace

namespace {

// Pausing a running graph keeps the picture that was on screen, and the position names it.
TEST(GstMediaServiceWindow, PauseHoldsTheFrameOnScreen) {
    GstGraphOptions options;
    options.audioSink = [] { return gst_element_factory_make("fakesink", nullptr); };
    GstMediaService service(options);
    ASSERT_TRUE(openGraph(service, clipPath(videoClip(ClipFormat::MjpegAvi, 100))));
    ASSERT_TRUE(service.setTimeFormatFrame());
    VideoWindow* window = service.graph()->videoWindow();
    service.pause();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    for (int frames : {3, 6, 10}) {
        service.setPositions(10, 100);
        ASSERT_TRUE(QTest::qWaitFor([&] { return frameInWindow(window) == 10; }, 5000));
        service.run();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return frameInWindow(window).value_or(0) >= 10 + frames; }, 10000));
        service.pause();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                GstState state = GST_STATE_VOID_PENDING;
                return gst_element_get_state(service.graph()->pipeline(), &state, nullptr, 0) ==
                           GST_STATE_CHANGE_SUCCESS &&
                       state == GST_STATE_PAUSED;
            },
            5000));
        const std::int64_t position = service.currentPosition();
        EXPECT_GE(position, 10 + frames);
        // Never the next frame (which the sink already holds for the resume); on a loaded
        // machine the frame due at the pause may not have been drawn yet.
        const std::int64_t shown = frameInWindow(window).value_or(-1);
        EXPECT_LE(shown, position) << "paused after " << frames << " frames";
        EXPECT_GE(shown, position - 1) << "paused after " << frames << " frames";
    }

    // The controller's cue after a completed range: new range, then pause, while running.
    NotifyRecorder target;
    service.setNotifyWindow(&target, GraphNotifyEvent, 0);
    service.setPositions(20, 23);
    service.run();
    ASSERT_TRUE(waitForEvent(service, target, EC_COMPLETE, 5000));
    EXPECT_EQ(frameInWindow(window), 22);
    service.setPositions(60, 70);
    service.pause();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return frameInWindow(window) == 60 && service.currentPosition() == 60; }, 5000))
        << "at " << service.currentPosition();

    // The same on a loaded machine, where the user-interface thread may lose the processor
    // between the two calls while the graph plays on: the cue still lands on its frame.
    service.setPositions(20, 23);
    service.run();
    ASSERT_TRUE(waitForEvent(service, target, EC_COMPLETE, 5000));
    service.setPositions(60, 70);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    service.pause();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return frameInWindow(window) == 60 && service.currentPosition() == 60; }, 5000))
        << "at " << service.currentPosition();
    releaseGraph(service);
}

// What the watchdog takes for the picture on screen: it moves while the graph plays and stands
// still once the frames stop reaching the sink, although the graph and its clock still run.
TEST(GstMediaServiceWindow, ShownPictureFollowsTheFramesThatReachTheSink) {
    GstGraphOptions options;
    options.audioSink = [] { return gst_element_factory_make("fakesink", nullptr); };
    GstMediaService service(options);
    ASSERT_TRUE(openGraph(service, clipPath(videoClip(ClipFormat::MjpegAvi, 250))));
    ASSERT_TRUE(service.setTimeFormatFrame());
    service.pause();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(service.graph()->videoWindow()));
    service.setPositions(0, 250);
    service.run();
    const std::optional<std::int64_t> first = service.shownPicture();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return service.shownPicture().has_value() && service.shownPicture() != first; },
        5000));

    GstElement* sink = nullptr;
    g_object_get(service.graph()->pipeline(), "video-sink", &sink, nullptr);
    ASSERT_NE(sink, nullptr);
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    std::atomic<bool> stalled = false;
    const gulong stall = gst_pad_add_probe(
        pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        [](GstPad*, GstPadProbeInfo*, gpointer flag) {
            static_cast<std::atomic<bool>*>(flag)->store(true);
            return GST_PAD_PROBE_OK;
        },
        &stalled, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stalled.load(); }, 5000));
    // The streaming thread waits in the probe, so the frame before it has been rendered.
    const std::optional<std::int64_t> held = service.shownPicture();
    QTest::qWait(500);
    EXPECT_EQ(service.shownPicture(), held);

    gst_pad_remove_probe(pad, stall);
    EXPECT_TRUE(QTest::qWaitFor([&] { return service.shownPicture() != held; }, 5000));
    gst_object_unref(pad);
    gst_object_unref(sink);
    releaseGraph(service);
}

}  // namespace

namespace {

// A graph that breaks while it plays: the failure is logged with the file and the element,
// reported to the player, and the service keeps answering.
TEST(GstMediaService, PlaybackErrorIsLoggedWithFileAndElement) {
    const QString path = tempPath(QStringLiteral("failing.grf"));
    QFile graphFile(path);
    ASSERT_TRUE(graphFile.open(QIODevice::WriteOnly));
    graphFile.write("filesrc location=\"" +
                    clipPath(videoClip(ClipFormat::MjpegAvi, 100)).toUtf8() +
                    "\" ! avidemux ! jpegdec ! identity name=breaker error-after=5 ! fakesink");
    graphFile.close();
    GstMediaService service;
    NotifyRecorder target;
    ASSERT_TRUE(openGraph(service, path));
    service.setNotifyWindow(&target, GraphNotifyEvent, 0);
    service.pause();

    QStringList failures;
    bool reported = false;
    std::vector<long> later;
    {
        const LogCapture log;
        service.run();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !(failures = log.lines(QStringLiteral("failed in"))).isEmpty(); }, 5000));
        // The player hears of it once, however many elements stop streaming.
        reported = waitForEvent(service, target, EC_ERRORABORT, 5000);
        later = drainEvents(service);
    }
    EXPECT_TRUE(reported);
    EXPECT_EQ(std::count(later.begin(), later.end(), EC_ERRORABORT), 0);
    const QString line = failures.first();
    EXPECT_TRUE(line.startsWith(QStringLiteral("framelock.media: "))) << line.toStdString();
    EXPECT_TRUE(line.contains(path)) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("breaker"))) << line.toStdString();
    // A place that is neither where it broke nor the start: the service still seeks.
    service.pause();
    service.setPositions(3, 100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return service.currentPosition() == 3; }, 10000))
        << service.currentPosition();
    releaseGraph(service);
}

}  // namespace

// Cueing the range named next by swapping to the standby pipeline prepared on it: the frame
// shown, read back from the X server or from the decoded pictures, is the cued one on every
// path, and the standby leaves nothing behind.

#include "player_on_gstreamer.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

struct Format {
    const char* name;
    ClipSettings clip;
};

ClipSettings h264(int bFrames, int fpsN = 25, int fpsD = 1) {
    ClipSettings s = clip(ClipFormat::H264Mp4, 120, fpsN, fpsD);
    s.bFrames = bFrames;
    return s;
}

GstGraphOptions windowOptions() {
    GstGraphOptions options;
    options.audioSink = [] { return gst_element_factory_make("fakesink", nullptr); };
    options.standbyWait = std::chrono::seconds(10);
    return options;
}

bool open(GstMediaService& service, const QString& file) {
    return openGraph(service, file) && service.setTimeFormatFrame();
}

// Cues [start, stop) paused and waits until the window shows its first frame.
bool cueShows(GstMediaService& service, std::int64_t start, std::int64_t stop) {
    service.setPositions(start, stop);
    VideoWindow* window = service.graph()->videoWindow();
    return QTest::qWaitFor([&] { return frameInWindow(window) == start; }, 5000);
}

class StandbyCue : public testing::TestWithParam<Format> {};

TEST_P(StandbyCue, SwapAndFallbackShowTheCuedFrame) {
    GstMediaService service(windowOptions());
    ASSERT_TRUE(open(service, clipPath(GetParam().clip)));
    GstGraph* graph = service.graph();
    service.pause();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(graph->videoWindow()));
    ASSERT_TRUE(cueShows(service, 10, 20));
    EXPECT_EQ(graph->shownPipeline(), 0);

    // Prepared: the cue swaps, to the frame.
    service.setNextRange(37, 50);
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->nextRangeReady(); }, 10000));
    EXPECT_TRUE(cueShows(service, 37, 50)) << frameInWindow(graph->videoWindow()).value_or(-1);
    EXPECT_EQ(graph->shownPipeline(), 1);

    // Another range than the prepared one seeks the pipeline shown.
    service.setNextRange(60, 70);
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->nextRangeReady(); }, 10000));
    EXPECT_TRUE(cueShows(service, 83, 90)) << frameInWindow(graph->videoWindow()).value_or(-1);
    EXPECT_EQ(graph->shownPipeline(), 1);

    // The seek dropped the prepared range: cueing it now seeks too, still to the frame.
    EXPECT_TRUE(cueShows(service, 60, 70)) << frameInWindow(graph->videoWindow()).value_or(-1);
    EXPECT_EQ(graph->shownPipeline(), 1);

    // The pipeline that went behind serves as the standby, and swaps back.
    service.setNextRange(5, 15);
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->nextRangeReady(); }, 10000));
    EXPECT_TRUE(cueShows(service, 5, 15)) << frameInWindow(graph->videoWindow()).value_or(-1);
    EXPECT_EQ(graph->shownPipeline(), 0);
}

INSTANTIATE_TEST_SUITE_P(Media, StandbyCue,
                         testing::Values(Format{"MjpegAvi", clip(ClipFormat::MjpegAvi, 120)},
                                         Format{"H264WithBFrames", h264(2)},
                                         Format{"H264WithoutBFrames", h264(0)},
                                         Format{"H264At2997", h264(2, 30000, 1001)}),
                         [](const testing::TestParamInfo<Format>& info) {
                             return std::string(info.param.name);
                         });

// Opens a clip with sound, paused and shown in its window.
bool openPausedWithSound(GstMediaService& service) {
    ClipSettings settings = clip(ClipFormat::MjpegAvi, 120);
    settings.withAudio = true;
    if (!open(service, clipPath(settings))) {
        return false;
    }
    service.pause();
    return QTest::qWaitForWindowExposed(service.graph()->videoWindow());
}

// The audio sinks each pipeline was given, in the order the pipelines were made.
struct AudioSinks {
    ~AudioSinks() {
        for (GstElement* sink : made) {
            gst_object_unref(sink);
        }
    }
    std::vector<GstElement*> made;
};

GstState stateOf(GstElement* element) {
    GstState state = GST_STATE_VOID_PENDING;
    gst_element_get_state(element, &state, nullptr, 0);
    return state;
}

// Each pipeline carries its own sound: after a swap the sound shown runs from the cued frame on,
// and the one gone behind is paused, so two sounds never play at once.
TEST(StandbyAudio, TheSoundOfTheSwappedPipelineRunsFromTheCuedFrameAndTheOtherIsSilent) {
    AudioSinks sinks;
    GstGraphOptions options = windowOptions();
    options.audioSink = [&sinks] {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", TRUE, nullptr);
        sinks.made.push_back(GST_ELEMENT(gst_object_ref(sink)));
        return sink;
    };
    GstMediaService service(options);
    ASSERT_TRUE(openPausedWithSound(service));
    GstGraph* graph = service.graph();
    service.setNextRange(50, 110);
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->nextRangeReady(); }, 10000));
    ASSERT_EQ(sinks.made.size(), 2U);
    ASSERT_TRUE(cueShows(service, 50, 110));
    ASSERT_EQ(graph->shownPipeline(), 1);
    service.run();
    const auto soundAt = [&](gint64& position) {
        return gst_element_query_position(sinks.made[1], GST_FORMAT_TIME, &position) &&
               position >= 0;
    };
    gint64 first = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return soundAt(first); }, 10000));
    EXPECT_GE(first, 2000 * GST_MSECOND);  // frame 50 at 25 fps
    EXPECT_LT(first, 4400 * GST_MSECOND);  // the range's end, frame 110
    gint64 later = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return soundAt(later) && later > first; }, 10000));
    EXPECT_EQ(stateOf(sinks.made[1]), GST_STATE_PLAYING);
    EXPECT_EQ(stateOf(sinks.made[0]), GST_STATE_PAUSED);
    service.pause();
}

// A PulseAudio server of the test's own with a null output, for the default sound sink to
// play into; its streams can be read back.
class PrivateSoundServer {
public:
    ~PrivateSoundServer() {
        qunsetenv("PULSE_SERVER");
        server_.terminate();
        server_.waitForFinished(5000);
    }

    // Empty when the server runs, else why not.
    QString start() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty() || !dir_.isValid()) {
            return QStringLiteral("no pulseaudio to run");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"}) {
            env.insert(QString::fromLatin1(name), dir_.path());
        }
        server_.setProcessEnvironment(env);
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString socket = dir_.filePath(QStringLiteral("native"));
        server_.start(program,
                      {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                       QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disable-shm=yes"),
                       QStringLiteral("--load=module-null-sink"),
                       QStringLiteral("--load=module-native-protocol-unix "
                                      "auth-anonymous=1 socket=") +
                           socket});
        qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
        if (!QTest::qWaitFor([&] { return pactl({QStringLiteral("info")}).has_value(); }, 10000)) {
            return QStringLiteral("pulseaudio did not start");
        }
        return {};
    }

    // "yes" or "no" for every playback stream, as the server says whether it is corked.
    QStringList corked() const {
        QStringList states;
        for (const QString& line : pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")})
                                       .value_or(QString())
                                       .split(QLatin1Char('\n'))) {
            if (line.trimmed().startsWith(QStringLiteral("Corked:"))) {
                states << line.trimmed().mid(7).trimmed();
            }
        }
        states.sort();
        return states;
    }

private:
    static std::optional<QString> pactl(const QStringList& args) {
        QProcess process;
        process.start(QStringLiteral("pactl"), args);
        if (!process.waitForFinished(5000) || process.exitCode() != 0) {
            return std::nullopt;
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    QTemporaryDir dir_;
    QProcess server_;
};

// With the sink a desktop chooses, on a real sound server: each pipeline holds its own stream,
// and after a swap only the stream shown plays.
TEST(StandbyAudio, OnARealSoundServerOnlyTheStreamShownPlays) {
    PrivateSoundServer server;
    if (const QString why = server.start(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    GstGraphOptions options = windowOptions();
    options.audioSink = {};
    GstMediaService service(options);
    ASSERT_TRUE(openPausedWithSound(service));
    GstGraph* graph = service.graph();
    service.setNextRange(50, 110);
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->nextRangeReady(); }, 10000));
    ASSERT_TRUE(cueShows(service, 50, 110));
    EXPECT_EQ(server.corked(), QStringList({"yes", "yes"}));
    service.run();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return server.corked() == QStringList({"no", "yes"});
        },
        5000))
        << server.corked().join(QLatin1Char(' ')).toStdString();
    service.pause();
}

// An output that only one stream may open (an ALSA hardware device) fails the second pipeline:
// the show goes on with one, cueing by seeking, and never tries a second again.
TEST(StandbyAudio, AnOutputThatOpensOnceLeavesOnePipelineThatCuesBySeeking) {
    int made = 0;
    GstGraphOptions options = windowOptions();
    options.audioSink = [&made] {
        if (++made == 1) {
            return gst_element_factory_make("fakesink", nullptr);
        }
        // No card has this name: the device cannot be opened, as one already in use.
        GstElement* sink = gst_element_factory_make("alsasink", nullptr);
        g_object_set(sink, "device", "hw:CARD=frameLockNoSuchCard", nullptr);
        return sink;
    };
    GstMediaService service(options);
    ASSERT_TRUE(openPausedWithSound(service));
    GstGraph* graph = service.graph();
    service.setNextRange(37, 50);
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->standbyPipeline() == nullptr; }, 10000));
    EXPECT_TRUE(cueShows(service, 37, 50)) << frameInWindow(graph->videoWindow()).value_or(-1);
    EXPECT_EQ(graph->shownPipeline(), 0);
    service.setNextRange(60, 70);
    EXPECT_TRUE(cueShows(service, 60, 70)) << frameInWindow(graph->videoWindow()).value_or(-1);
    EXPECT_EQ(made, 2);
}

// Options whose second pipeline's sink drops every picture, as a stuck standby holds none;
// `made` counts the video sinks made.
GstGraphOptions stuckStandbyOptions(FrameProbe& probe, int& made) {
    GstGraphOptions options = probeOptions(probe);
    options.standbyWait = std::chrono::milliseconds(200);
    options.videoSink = [&probe, &made] {
        return ++made == 1
                   ? probe.makeSink()
                   : gst_parse_bin_from_description("valve drop=true ! fakesink", TRUE, nullptr);
    };
    return options;
}

// A standby that never gets ready (its sink drops every picture, as a stuck one would hold
// none) costs its wait at three cues, each still landing on its frame by seeking; then the graph
// keeps one pipeline and waits no more.
TEST(StandbyMisses, AStandbyThatNeverGetsReadyIsGivenUpAfterThreeCues) {
    FrameProbe probe;
    int made = 0;
    GstMediaService service(stuckStandbyOptions(probe, made));
    ASSERT_TRUE(open(service, clipPath(clip(ClipFormat::MjpegAvi, 120))));
    service.pause();
    for (std::int64_t start : {20, 30, 40}) {
        service.setNextRange(start, start + 10);
        ASSERT_NE(service.graph()->standbyPipeline(), nullptr);
        service.setPositions(start, start + 10);
        EXPECT_TRUE(QTest::qWaitFor([&] { return probe.lastPreroll() == start; }, 5000)) << start;
    }
    EXPECT_EQ(service.graph()->standbyPipeline(), nullptr);
    service.setNextRange(60, 70);
    EXPECT_EQ(service.graph()->standbyPipeline(), nullptr);
    EXPECT_EQ(made, 2);
}

// A standby that missed three cues is given up, and tried again once its time has come.
TEST(StandbyMisses, AStandbyGivenUpIsTriedAgainLater) {
    FrameProbe probe;
    int made = 0;
    GstGraphOptions options = stuckStandbyOptions(probe, made);
    options.standbyRetry = std::chrono::milliseconds(0);
    GstMediaService service(options);
    ASSERT_TRUE(open(service, clipPath(clip(ClipFormat::MjpegAvi, 120))));
    service.pause();
    for (std::int64_t start : {20, 30, 40}) {
        service.setNextRange(start, start + 10);
        service.setPositions(start, start + 10);
        ASSERT_TRUE(QTest::qWaitFor([&] { return probe.lastPreroll() == start; }, 5000)) << start;
    }
    ASSERT_EQ(service.graph()->standbyPipeline(), nullptr);
    service.setNextRange(60, 70);
    EXPECT_NE(service.graph()->standbyPipeline(), nullptr);
    EXPECT_EQ(made, 3);
}

// A sink bin whose pictures each take `sleep` to pass: a standby that needs that long to get
// ready, whatever the machine.
GstElement* slowSink(FrameProbe& probe, std::chrono::microseconds sleep) {
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* identity = gst_element_factory_make("identity", nullptr);
    g_object_set(identity, "sleep-time", static_cast<guint>(sleep.count()), nullptr);
    GstElement* sink = probe.makeSink();
    gst_bin_add_many(GST_BIN(bin), identity, sink, nullptr);
    gst_element_link(identity, sink);
    GstPad* pad = gst_element_get_static_pad(identity, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", pad));
    gst_object_unref(pad);
    return bin;
}

// A cue of the prepared range while the standby still prepares it: the cue waits without
// holding up the event loop (a serial Slave repeats what it receives meanwhile), reads as the
// cued frame, and a run asked for meanwhile starts on the cued frame once the standby is ready.
class StandbyStillPreparing : public testing::Test {
protected:
    StandbyStillPreparing() {
        options = probeOptions(probe);
        options.standbyWait = std::chrono::seconds(20);
        options.videoSink = [this] {
            return ++made == 1 ? probe.makeSink() : slowSink(probe, std::chrono::milliseconds(400));
        };
    }

    void openAndCueWhilePreparing() {
        service = std::make_unique<GstMediaService>(options);
        ASSERT_TRUE(open(*service, clipPath(clip(ClipFormat::MjpegAvi, 120))));
        service->pause();
        service->setNextRange(37, 50);
        service->setPositions(37, 50);
        ASSERT_TRUE(service->graph()->cuePending());
    }

    FrameProbe probe;
    GstGraphOptions options;
    int made = 0;
    std::unique_ptr<GstMediaService> service;
};

TEST_F(StandbyStillPreparing, TheEventLoopRunsAndARunMeanwhileStartsOnTheCuedFrame) {
    openAndCueWhilePreparing();
    ASSERT_FALSE(HasFatalFailure());
    GstGraph* graph = service->graph();
    bool ranWhileWaiting = false;
    QMetaObject::invokeMethod(
        qApp, [&] { ranWhileWaiting = graph->cuePending(); }, Qt::QueuedConnection);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ranWhileWaiting; }, 5000));
    EXPECT_EQ(service->currentPosition(), 37);

    probe.clearPlayed();
    service->run();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !probe.played().empty(); }, 20000));
    EXPECT_EQ(probe.played().front(), 37);
    EXPECT_EQ(graph->shownPipeline(), 1);
    service->pause();
}

TEST_F(StandbyStillPreparing, ANewerCueSupersedesTheOneWaiting) {
    openAndCueWhilePreparing();
    ASSERT_FALSE(HasFatalFailure());
    GstGraph* graph = service->graph();
    service->setPositions(80, 90);
    EXPECT_FALSE(graph->cuePending());
    // Named again, the range of the superseded cue gets ready, and still is not cued.
    service->setNextRange(37, 50);
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->nextRangeReady(); }, 20000));
    QTest::qWait(100);
    EXPECT_EQ(graph->shownPipeline(), 0) << "the superseded cue swapped after all";
    EXPECT_EQ(service->currentPosition(), 80);
    probe.clearPlayed();
    service->run();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !probe.played().empty(); }, 10000));
    EXPECT_EQ(probe.played().front(), 80);
    service->pause();
}

// The range cued away from runs on to its end while the cue waits: that end belongs to it, and
// taken for the cued range's it would end a segment that has not played.
TEST_F(StandbyStillPreparing, TheEndOfTheRangeCuedAwayFromIsNotTakenForTheCuedOnes) {
    service = std::make_unique<GstMediaService>(options);
    ASSERT_TRUE(open(*service, clipPath(clip(ClipFormat::MjpegAvi, 120))));
    service->setPositions(10, 14);
    service->setNextRange(37, 50);
    probe.clearPlayed();
    service->run();
    service->setPositions(37, 50);
    ASSERT_TRUE(service->graph()->cuePending());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service->graph()->cuePending(); }, 20000));
    const std::vector<long> codes = drainEvents(*service);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), EC_COMPLETE), 0);
    const std::vector<std::int64_t> played = probe.played();
    ASSERT_FALSE(played.empty());
    EXPECT_EQ(played.front(), 10);
    EXPECT_NE(std::find(played.begin(), played.end(), 13), played.end())
        << "the range cued away from did not end while the cue waited";
    service->pause();
}

// A show of segments in a loop, cued as the controller cues them: on completion the next
// segment, then the hint for the one after it. A cue may wait for the standby, so which pipeline
// played a segment is read when it completes.
class StandbyShow : public GraphPlayerOnGstreamer {
protected:
    void playShow(const std::vector<std::pair<std::int64_t, std::int64_t>>& segments, int cues) {
        std::size_t current = 0;
        const auto next = [&](std::size_t i) { return segments[(i + 1) % segments.size()]; };
        owner.onCompletion = [&] {
            shown.push_back(service->graph()->shownPipeline());
            if (++cued >= cues) {
                player->PauseMedia();
                return;
            }
            current = (current + 1) % segments.size();
            player->SetPlayRange(segments[current].first, segments[current].second);
            player->SetNextRange(next(current).first, next(current).second);
        };
        player->OpenMedia();
        ASSERT_TRUE(player->MediaOpen());
        player->SetPlayRange(segments[0].first, segments[0].second);
        player->PauseMedia();
        player->SetNextRange(next(0).first, next(0).second);
        ASSERT_TRUE(QTest::qWaitFor([&] { return service->graph()->nextRangeReady(); }, 10000));
        probe.clearPlayed();
        player->PlayMedia();
        ASSERT_TRUE(QTest::qWaitFor([&] { return cued >= cues; }, 60000)) << cued;
        for (int i = 0; i < cues; ++i) {
            const auto& [start, stop] = segments[static_cast<std::size_t>(i) % segments.size()];
            for (std::int64_t f = start; f < stop; ++f) {
                expected.push_back(f);
            }
        }
    }

    int cued = 0;
    std::vector<int> shown;
    std::vector<std::int64_t> expected;
};

TEST_F(StandbyShow, TenSegmentsInALoopAlternateThePipelinesAndPlayEveryFrameInOrder) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 120)));
    playShow({{0, 8}, {8, 20}, {20, 26}, {40, 52}, {52, 60}}, 10);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(probe.played(), expected);
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
}

// Two-frame segments of a long GOP end long before the standby has decoded its way to the next
// one: the cue waits for it and still starts on the first frame.
TEST_F(StandbyShow, SegmentsShorterThanThePreparationStartOnTheirFirstFrame) {
    ClipSettings settings = clip(ClipFormat::H264Mp4, 240);
    player->setFileName(clipPath(settings));
    playShow({{180, 182}, {200, 202}, {120, 122}, {230, 232}}, 6);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(probe.played(), expected);
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 0, 1, 0, 1}));
}

// A Slave is cued while its own segment still runs: the pipeline that goes behind pauses at
// once, often before the roles are swapped, and must still be found ready for the range after.
TEST_F(GraphPlayerOnGstreamer, ThePipelineCuedAwayFromWhileRunningIsPreparedAgain) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 120)));
    player->OpenMedia();
    ASSERT_TRUE(player->MediaOpen());
    const std::pair<std::int64_t, std::int64_t> ranges[] = {{20, 110}, {60, 110}};
    player->SetPlayRange(0, 110);
    player->SetNextRange(ranges[0].first, ranges[0].second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return service->graph()->nextRangeReady(); }, 10000));
    player->PlayMedia();
    for (int cue = 0; cue < 8; ++cue) {
        QTest::qWait(120);
        const auto& [start, stop] = ranges[cue % 2];
        player->SetPlayRange(start, stop);
        ASSERT_EQ(service->graph()->shownPipeline(), (cue + 1) % 2) << "cue " << cue;
        const auto& [nextStart, nextStop] = ranges[(cue + 1) % 2];
        player->SetNextRange(nextStart, nextStop);
        ASSERT_TRUE(QTest::qWaitFor([&] { return service->graph()->nextRangeReady(); }, 5000))
            << "cue " << cue;
    }
}

TEST_F(GraphPlayerOnGstreamer, StandbyCyclesWithFullScreenGiveBackWindowsDescriptorsThreads) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 50)));
    const auto cycle = [&] {
        player->OpenMedia();
        ASSERT_TRUE(player->MediaOpen());
        player->SetPlayRange(0, 10);
        player->SetNextRange(10, 20);
        player->SetFullScreen(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return service->graph()->nextRangeReady(); }, 10000));
        player->PlayMedia();
        player->SetPlayRange(10, 20);
        ASSERT_EQ(service->graph()->shownPipeline(), 1);
        player->SetFullScreen(false);
        player->CloseMedia();
        ASSERT_EQ(videoWindow(), nullptr);
    };
    cycle();
    cycle();
    const ProcessBaseline baseline;
    const int windows = static_cast<int>(QApplication::allWidgets().size());
    for (int count = 0; count < 30 && !HasFatalFailure(); ++count) {
        cycle();
    }
    baseline.expectGivenBack();
    EXPECT_EQ(QApplication::allWidgets().size(), windows);
}

}  // namespace

// A Master and two Slaves, each a real main window with real GStreamer, joined over loopback
// TCP, every instance with its own In point: what each shows is read from the decoded pictures.
#include "media/graph_player.h"
#include "media/gst/gst_media_service.h"
#include "media_test_support.h"
#include "net/loopback.h"
#include "support/log_capture.h"
#include "window_harness.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <algorithm>

namespace {

std::function<std::unique_ptr<MediaService>()> probedMedia(FrameProbe& probe) {
    return [&probe] { return std::make_unique<GstMediaService>(probeOptions(probe)); };
}

struct Instance {
    explicit Instance(const WindowSettings& settings)
        : h(settings.text(), QString(), probedMedia(probe)) {}
    FrameProbe probe;
    WindowHarness h;
};

WindowSettings instance(const QString& clip, quint16 port, bool master, int inPoint) {
    WindowSettings settings;
    settings.master = master;
    settings.port = port;
    settings.file = clip;
    settings.in = inPoint;
    settings.syncPoints = {QStringLiteral("15"), QStringLiteral("30"), QStringLiteral("45")};
    settings.syncTimeMs = 300;
    settings.more = {QStringLiteral("cbRepeat_Checked=False")};
    return settings;
}

// A looping Master with a short sync time.
WindowSettings loopedMaster(const QString& clip, int inPoint, const QStringList& syncPoints) {
    WindowSettings settings = instance(clip, 0, true, inPoint);
    settings.syncPoints = syncPoints;
    settings.syncTimeMs = 50;
    settings.more = {QStringLiteral("cbRepeat_Checked=True")};
    return settings;
}

TEST(RealShow, EveryInstanceStartsEachSegmentOnTheFrameItsOwnInPointSays) {
    ClipSettings settings;
    settings.frames = 120;
    const QString clip = clipPath(settings);
    const quint16 port = freePort();
    const int inPoints[] = {0, 40, 7};
    Instance master(instance(clip, port, true, inPoints[0]));
    Instance one(instance(clip, port, false, inPoints[1]));
    Instance two(instance(clip, port, false, inPoints[2]));
    Instance* all[] = {&master, &one, &two};
    for (Instance* i : all) {
        i->h.show();
    }
    ASSERT_TRUE(waitFor([&] { return master.h.ui().lbConnected->count() == 2; }, 10000));
    for (Instance* i : all) {
        i->probe.clearPlayed();
    }
    // Two pipelines may share each probe (one stands by, prerolled on the next segment), so the
    // truth is what was played: every segment's first frame, and never a frame out of order or
    // outside the instance's own range.
    master.h.ui().bPlay->click();
    const std::int64_t starts[] = {0, 15, 30};
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(waitFor(
            [&] {
                const auto played = all[k]->probe.played();
                return !played.empty() && played.back() >= inPoints[k] + 44;
            },
            20000))
            << "instance " << k << " did not play to its Out point";
        const std::vector<std::int64_t> played = all[k]->probe.played();
        EXPECT_TRUE(std::is_sorted(played.begin(), played.end())) << "instance " << k;
        EXPECT_EQ(played.front(), inPoints[k]) << "instance " << k;
        EXPECT_LT(played.back(), inPoints[k] + 45) << "instance " << k;
        for (const std::int64_t start : starts) {
            EXPECT_NE(std::find(played.begin(), played.end(), inPoints[k] + start), played.end())
                << "instance " << k << " never showed frame " << inPoints[k] + start;
        }
    }
}

// A Slave cued to the last segment while the two-frame segment before it still runs, its
// standby still decoding its way through a long GOP to the new segment: the end of the old
// segment comes while the new cue waits, and must not be taken for the new segment's end (which
// would loop the Slave back to segment 0 on its own).
TEST(RealShow, AnEndOfTheRangeBeforeTheCueDoesNotEndTheCuedSegment) {
    ClipSettings settings;
    settings.format = ClipFormat::H264Mp4;
    settings.bFrames = 0;
    settings.width = 1280;
    settings.height = 720;
    settings.frames = 330;
    const QString clip = clipPath(settings);
    GstMediaService* service = nullptr;
    WindowSettings looped = instance(clip, freePort(), false, 0);
    looped.more = {QStringLiteral("cbRepeat_Checked=True")};
    looped.syncPoints = {QStringLiteral("238"), QStringLiteral("240"), QStringLiteral("300")};
    WindowHarness slave(looped.text(), QString(), [&service] {
        GstGraphOptions options;
        options.audioSink = [] { return gst_element_factory_make("fakesink", nullptr); };
        auto media = std::make_unique<GstMediaService>(options);
        service = media.get();
        return media;
    });
    slave.show();
    ASSERT_TRUE(waitFor([&] { return slave.window().player().MediaOpen(); }, 20000));
    ASSERT_TRUE(waitFor([&] { return service->graph()->nextRangeReady(); }, 20000));

    slave.window().DispatchCommand("DoNC1");
    QTest::qWait(50);
    slave.window().DispatchCommand("Play");
    QTest::qWait(40);
    slave.window().DispatchCommand("DoNC2");
    // The old segment's end comes while the cue waits; then the cue is made and the standby
    // prepares the range after it. A Slave that took the end for the new segment's has looped
    // back by then and never gets here.
    EXPECT_TRUE(waitFor(
        [&] {
            return !service->graph()->cuePending() && service->graph()->nextRangeReady() &&
                   slave.window().player().CurrentFrame() == 240;
        },
        20000));
    EXPECT_EQ(slave.ui().lbCut->currentRow(), 2);
    EXPECT_EQ(slave.window().player().CurrentFrame(), 240);
}

}  // namespace

namespace {

// An In point past the end of the file: the seek would land where nothing is, complete at once
// and, with Loop on, restart the loop over and over, flooding the Slaves with "ReSt". The show
// must hold the last frame instead, say so once, and stay up.
TEST(RealShow, AnInPointPastTheEndHoldsTheLastFrameAndDoesNotLoop) {
    ClipSettings settings;
    settings.frames = 50;
    const QString clip = clipPath(settings);
    FrameProbe probe;
    TappedMaster master(loopedMaster(clip, 60, {QStringLiteral("10")}), probedMedia(probe));
    master.h.ui().bPlay->click();
    ASSERT_TRUE(waitFor([&] { return master.tap->commands().contains(QStringLiteral("Play")); }));
    settle(1500);
    const QStringList sent = master.tap->commands();
    EXPECT_EQ(sent.count(QStringLiteral("ReSt")), 0) << sent.size() << " commands sent";
    EXPECT_EQ(sent.count(QStringLiteral("Play")), 1);
    EXPECT_EQ(probe.lastPreroll(), 49);
    EXPECT_TRUE(
        master.h.ui().eServerStatus->text().contains(QStringLiteral("after the last frame")))
        << master.h.ui().eServerStatus->text().toStdString();
    EXPECT_TRUE(master.h.window().isVisible());
}

// The show's file fails while it plays (cut short by a copy that is under way), comes back as a
// stub of one frame that opens, and is whole again a few seconds later: the instance opens it
// again by itself, under the same name, and all of it once it is whole.
TEST(RealShow, AFileCutShortWhileItPlaysIsOpenedAgainOnceItIsWhole) {
    const auto clipBytes = [](std::int64_t frames) {
        ClipSettings settings;
        settings.frames = frames;
        QFile source(clipPath(settings));
        return source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
    };
    const QByteArray whole = clipBytes(500);
    const QByteArray stub = clipBytes(1);
    ASSERT_FALSE(whole.isEmpty() || stub.isEmpty());
    const QString clip = tempPath(QStringLiteral("cut-short.avi"));
    const auto writeClip = [&](const QByteArray& bytes) {
        QFile file(clip);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    };
    writeClip(whole);
    FrameProbe probe;
    TappedMaster master(loopedMaster(clip, 0, {QStringLiteral("490")}), probedMedia(probe));
    master.h.ui().bPlay->click();
    ASSERT_TRUE(waitFor([&] { return master.tap->commands().contains(QStringLiteral("Play")); }));
    ASSERT_TRUE(waitFor([&] { return probe.played().size() > 5; }, 10000));

    TGraphPlayer& player = master.h.window().player();
    writeClip(QByteArray());
    ASSERT_TRUE(waitFor([&] { return !player.MediaOpen(); }, 20000));
    const LogCapture log;
    writeClip(stub);
    ASSERT_TRUE(waitFor([&] { return player.MediaOpen(); }, 10000));
    EXPECT_EQ(player.DurationFrames(), 1);
    writeClip(whole);
    EXPECT_TRUE(
        waitFor([&] { return player.MediaOpen() && player.DurationFrames() == 500; }, 15000))
        << player.DurationFrames();
    // The log says why the stub that opened was not the end of it, once.
    EXPECT_EQ(
        log.lines(clip + QStringLiteral(" has 1 frames, fewer than the 490 the show cues")).size(),
        1)
        << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(master.h.ui().eFilename->text(), clip);
}

}  // namespace

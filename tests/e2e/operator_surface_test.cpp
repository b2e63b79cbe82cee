// A whole show driven through the operator table alone, by a surface of its own, with two real
// Slave processes following: what the Master's operations do reaches every screen.
#include "e2e/operator_script.h"
#include "e2e/show_instance.h"
#include "media/gst/gst_media_service.h"
#include "media_test_support.h"
#include "window_harness.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <memory>

namespace {

constexpr double WaitSeconds = 30;

// Every Slave logs a line starting with `prefix` after `after`.
bool allLogged(const std::vector<std::unique_ptr<ShowInstance>>& slaves, const QString& prefix,
               double after) {
    return waitUntil(
        [&] {
            for (const auto& slave : slaves) {
                if (!slave->find(prefix, after)) {
                    return false;
                }
            }
            return true;
        },
        WaitSeconds);
}

// Every Slave started a picture on `frame` (from its In point) after `after`.
bool allStartedOn(const std::vector<std::unique_ptr<ShowInstance>>& slaves, std::int64_t frame,
                  double after) {
    return waitUntil(
        [&] {
            for (const auto& slave : slaves) {
                const auto started = slave->frames(QStringLiteral("started frame"), after);
                if (std::none_of(started.begin(), started.end(),
                                 [frame](const auto& s) { return s.second == frame; })) {
                    return false;
                }
            }
            return true;
        },
        WaitSeconds);
}

TEST(OperatorSurface, AScriptDrivesAWholeShowThroughTheOperatorTableAndTwoSlavesFollow) {
    QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("clip.avi"));
    makeClip(clip, 160);
    const quint16 port = freePort();
    ShowSettings show;
    show.port = port;
    show.clip = clip;
    show.syncPoints = {QStringLiteral("50"), QStringLiteral("100")};
    show.loop = false;
    show.syncTimeMs = 300;

    std::vector<std::unique_ptr<ShowInstance>> slaves;
    for (int i = 0; i < 2; ++i) {
        ShowSettings slave = show;
        slave.master = false;
        slave.in = 5 * i;
        slaves.push_back(
            std::make_unique<ShowInstance>(QStringLiteral("slave%1").arg(i + 1), slave));
        slaves.back()->start();
    }
    FrameProbe probe;
    WindowHarness master(settingsFile(show), QString(),
                         [&] { return std::make_unique<GstMediaService>(probeOptions(probe)); });
    master.show();
    ASSERT_TRUE(waitUntil([&] { return master.ui().lbConnected->count() == 2; }, WaitSeconds))
        << logsOf({slaves[0].get(), slaves[1].get()}).toStdString();

    // The surface needs nothing of the window but its table.
    const OperatorScript script(master.window().operators());
    double t = monotonicNow();
    ASSERT_EQ(script.run(QStringLiteral("start")), QStringLiteral("ok"));
    EXPECT_TRUE(allStartedOn(slaves, 0, t))
        << logsOf({slaves[0].get(), slaves[1].get()}).toStdString();
    // The show goes on by itself to the next Sync point.
    EXPECT_TRUE(allStartedOn(slaves, 50, t))
        << logsOf({slaves[0].get(), slaves[1].get()}).toStdString();

    t = monotonicNow();
    ASSERT_EQ(script.run(QStringLiteral("stop")), QStringLiteral("ok"));
    EXPECT_TRUE(allLogged(slaves, QStringLiteral("received Stop"), t));
    ASSERT_EQ(script.run(QStringLiteral("cue 2")), QStringLiteral("ok"));
    ASSERT_EQ(script.run(QStringLiteral("loop 1")), QStringLiteral("ok"));
    EXPECT_TRUE(allLogged(slaves, QStringLiteral("received DoNC1"), t));
    EXPECT_TRUE(allLogged(slaves, QStringLiteral("received Rep1"), t));

    t = monotonicNow();
    ASSERT_EQ(script.run(QStringLiteral("start")), QStringLiteral("ok"));
    EXPECT_TRUE(allStartedOn(slaves, 50, t))
        << logsOf({slaves[0].get(), slaves[1].get()}).toStdString();
    // Loop on: at the Out point the show comes round to its first segment.
    EXPECT_TRUE(allLogged(slaves, QStringLiteral("received ReSt"), t));

    // Locked, the settings refuse; the show's own operations still run.
    ASSERT_EQ(script.run(QStringLiteral("lock 1")), QStringLiteral("ok"));
    EXPECT_NE(script.run(QStringLiteral("loop 0")), QStringLiteral("ok"));
    EXPECT_NE(script.run(QStringLiteral("cue x")), QStringLiteral("ok"));
    t = monotonicNow();
    ASSERT_EQ(script.run(QStringLiteral("rewind")), QStringLiteral("ok"));
    EXPECT_TRUE(allLogged(slaves, QStringLiteral("received Rewi"), t));
    EXPECT_FALSE(slaves[0]->find(QStringLiteral("received Rep0"), 0));
    master.close();
}

}  // namespace

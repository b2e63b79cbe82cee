// Slaves that come into a running show at awkward moments, through a link the test opens and
// drops: during the sync pause, in the last moments before the loop wraps, and back after a
// short break while in step. What the screens show is read from their pixels.
#include "e2e/join_show.h"
#include "e2e/screen_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

void expectInStep(const std::vector<std::int64_t>& lags, std::size_t samples,
                  const std::string& logs) {
    ASSERT_EQ(lags.size(), samples) << logs;
    EXPECT_TRUE(
        std::all_of(lags.begin(), lags.end(), [](std::int64_t lag) { return std::abs(lag) <= 1; }))
        << "frames behind the Master: " << listed(lags) << logs;
}

// The Slave is let in while the Master stands cued on its second segment: it starts that
// segment with the Master, on its frame, and not the first one of its own.
TEST(JoiningShow, ASlaveConnectingInTheSyncPauseStartsTheMastersSegmentOnItsFrame) {
    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.avi"));
    makeClip(clip, 150);
    JoinShow show(clip, {QStringLiteral("0"), QStringLiteral("50"), QStringLiteral("100")}, 1500);
    const auto first = show.ready();
    ASSERT_TRUE(first) << show.logs();
    const auto cue = show.master->waitFor(QStringLiteral("sent DoNC"), first->monotonic, 10);
    ASSERT_TRUE(cue) << show.logs();
    show.link->open();
    const auto joined = show.master->waitFor(QStringLiteral("slave connected"), cue->monotonic, 5);
    const auto started = show.master->waitFor(QStringLiteral("started frame"), cue->monotonic, 10);
    ASSERT_TRUE(joined && started) << show.logs();
    ASSERT_LT(joined->monotonic, started->monotonic)
        << "not let in during the pause" << show.logs();

    ASSERT_TRUE(waitUntil(
        [&] {
            return !show.slave->frames(QStringLiteral("started frame"), joined->monotonic).empty();
        },
        10))
        << show.logs();
    EXPECT_EQ(show.slave->frames(QStringLiteral("started frame"), joined->monotonic).front().second,
              show.master->frames(QStringLiteral("started frame"), cue->monotonic).front().second)
        << show.logs();
    waitUntil([&] { return monotonicNow() >= started->monotonic + 0.5; }, 10);
    expectInStep(show.lags(10), 10, show.logs());
}

// The last segment is shorter than a join takes to cue, so a Slave let in while it plays cannot
// place itself in it; the loop goes back to the first segment without a pause and the Slave
// comes in on that, well within the first segment.
TEST(JoiningShow, ASlaveConnectingJustBeforeTheLoopWrapsStartsTheFirstSegmentInStep) {
    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.avi"));
    makeClip(clip, 130);
    JoinShow show(clip, {QStringLiteral("100"), QStringLiteral("115")}, 200);
    const auto first = show.ready();
    ASSERT_TRUE(first) << show.logs();
    const auto cue = show.master->waitFor(QStringLiteral("sent DoNC1"), first->monotonic, 10);
    ASSERT_TRUE(cue) << show.logs();
    const auto play = show.master->waitFor(QStringLiteral("sent Play"), cue->monotonic, 10);
    ASSERT_TRUE(play) << show.logs();
    show.link->open();
    const auto joined = show.master->waitFor(QStringLiteral("join:"), play->monotonic, 5);
    const auto wrap = show.master->waitFor(QStringLiteral("sent ReSt"), play->monotonic, 5);
    ASSERT_TRUE(joined && wrap) << show.logs();
    ASSERT_LT(joined->monotonic, wrap->monotonic) << "not let in before the wrap" << show.logs();
    ASSERT_TRUE(joined->message.contains(QStringLiteral("segment 1"))) << show.logs();

    waitUntil([&] { return monotonicNow() >= wrap->monotonic + 1.5; }, 10);
    expectInStep(show.lags(10), 10, show.logs());
}

// A Slave in step whose link breaks for a second is sent the join again when it is back: it
// plays on without a freeze and without a cue.
TEST(JoiningShow, ASlaveInStepWhoseLinkDropsForASecondKeepsPlaying) {
    const QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.avi"));
    makeClip(clip, 750);
    JoinShow show(clip, {QStringLiteral("0"), QStringLiteral("700")}, 200);
    show.link->open();
    const auto first = show.ready();
    ASSERT_TRUE(first) << show.logs();
    waitUntil([&] { return monotonicNow() >= first->monotonic + 4; }, 10);
    expectInStep(show.lags(5), 5, show.logs());

    const double droppedAt = monotonicNow();
    show.link->drop();
    waitUntil([&] { return monotonicNow() >= droppedAt + 1; }, 10);
    show.link->open();
    const auto joined = show.master->waitFor(QStringLiteral("slave connected"), droppedAt, 10);
    ASSERT_TRUE(joined) << show.logs();
    ASSERT_TRUE(show.slave->waitFor(QStringLiteral("join:"), droppedAt, 10)) << show.logs();
    expectInStep(show.lags(20), 20, show.logs());
    for (const LogLine& line : show.slave->log()) {
        EXPECT_FALSE(line.monotonic > droppedAt && line.message.contains(QStringLiteral("cued")))
            << line.message.toStdString() << show.logs();
    }
}

}  // namespace

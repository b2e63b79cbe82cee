#include "app/slave_show_reporter.h"

#include "loopback.h"
#include "show_rig.h"

#include <gtest/gtest.h>
#include <variant>

namespace {

// The play reports a Slave sent, in order; heartbeats and the rest aside.
struct SentPlays {
    std::vector<StatusPlay> plays;
    void take(const QByteArray& command) {
        const std::optional<StatusReport> report = parseStatus(command);
        ASSERT_TRUE(report.has_value()) << command.toStdString();
        if (const auto* play = std::get_if<StatusPlay>(&*report)) {
            plays.push_back(*play);
        }
    }
};

// A start is told once the picture runs, with when it started; a range that ran out holds its
// last frame, and that still position is told as the end. A picture that stalls while its range
// runs stands still as well, and is no end.
TEST(SlaveShowReporter, AStartIsToldWithItsTimeAndARangeThatRanOutAsTheEnd) {
    ShowRig slave({.master = false, .syncPoints = {"0", "100"}, .loop = false});
    slave.media->config.rate = {25, 1};
    SentPlays sent;
    SlaveShowReporter reporter(*slave.player, *slave.show,
                               {[] { return false; }, [] { return true; },
                                [&](const QByteArray& command) { sent.take(command); },
                                [] { return QStringLiteral("clip.avi"); }, [] { return QString(); },
                                [] { return QStringLiteral("screen"); }, QStringLiteral("v1")});
    reporter.start();
    reporter.connected();
    for (const QByteArray& command : {QByteArray("DoNC0"), QByteArray("Play")}) {
        slave.feed({QString::fromLatin1(command)});
        reporter.afterCommand(command);
    }
    ASSERT_FALSE(sent.plays.empty());
    EXPECT_EQ(sent.plays.back().state, PlayState::Cued);
    const std::size_t beforeStart = sent.plays.size();
    slave.media->config.position = 10;

    ASSERT_TRUE(waitFor([&] { return sent.plays.size() > beforeStart; }));
    const StatusPlay started = sent.plays[beforeStart];
    EXPECT_EQ(started.state, PlayState::Playing);
    EXPECT_EQ(started.startFrame, 0);
    EXPECT_TRUE(started.startedAtMs.has_value());

    // The position stands still while the range runs: a stalled picture. Two polls would tell
    // an end; three are waited.
    const int polls = 3;
    waitFor([] { return false; }, polls * SlaveShowReporter::PollMs);
    EXPECT_EQ(sent.plays.back().state, PlayState::Playing);
    slave.complete();
    ASSERT_TRUE(waitFor([&] { return sent.plays.back().state == PlayState::Ended; }));
    EXPECT_EQ(sent.plays.size(), beforeStart + 2);
}

}  // namespace

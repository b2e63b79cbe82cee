#include "app/clock_command.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

class RecordingClockTarget : public ClockCommandTarget {
public:
    QStringList calls;

    void commandStartAt(std::int64_t ns) override { calls << QString("StartAt %1").arg(ns); }
    void commandJoin(const JoinOrder& o) override {
        calls << QString("Join %1 %2 %3").arg(o.segment).arg(o.frameFromIn).arg(o.shownAtNs);
    }
    void commandRefused(QByteArrayView command) override {
        calls << "Refused " + QString::fromLatin1(command.toByteArray());
    }
};

// What the Master sends arrives whole (an older receiver's table, which does not know the
// codes, ignores them: the e2e show checks that); a malformed one is refused alone.
TEST(ClockCommands, WhatIsSentArrivesAndMalformedArgumentsAreRefused) {
    RecordingClockTarget target;
    for (const QByteArray& command :
         {startAtCommand(734'050'737'209), joinCommand(JoinOrder{3, -12, 9'000'000'000'123})}) {
        EXPECT_TRUE(dispatchClockCommand(command, target));
        // Nothing in it could end or restart a frame at a receiver.
        EXPECT_FALSE(command.contains('_') || command.contains('*')) << command.constData();
    }
    for (const char* command :
         {"PlAt", "PlAt12x", "Join1,2", "Join1,2,3,", "Join1,,3", "Join 1,2,3"}) {
        EXPECT_TRUE(dispatchClockCommand(command, target)) << command;
    }
    EXPECT_FALSE(dispatchClockCommand("Play", target));
    EXPECT_EQ(target.calls.mid(0, 2),
              QStringList({"StartAt 734050737209", "Join 3 -12 9000000000123"}));
    EXPECT_EQ(target.calls.filter("Refused").size(), 6);
}

// A joining Slave cues the frame current a lead after now and starts the frame after it on the
// show's grid of frame times, never between two of them.
TEST(ClockCommands, AJoinLandsOnTheShowsFrameGrid) {
    const JoinOrder order{1, 100, 1'000'000'000};  // frame 100 appeared at 1 s
    constexpr std::int64_t frame = 40'000'000;
    // 10.01 s + 0.5 s lead: 237.75 frames on; frame 337 is current, 338 comes at 10.52 s.
    const std::optional<JoinCue> cue = joinCue(order, 10'010'000'000, 500'000'000, frame);
    ASSERT_TRUE(cue);
    EXPECT_EQ(cue->frameFromIn, 337);
    EXPECT_EQ(cue->nextShownAtNs, 1'000'000'000 + 238 * frame);
    // Exactly on a frame's start, that frame is current.
    EXPECT_EQ(joinCue(order, 1'000'000'000 + 5 * frame, 0, frame)->frameFromIn, 105);
    // An order from the future (clocks that disagree) or without a frame rate places nothing.
    EXPECT_FALSE(joinCue(order, 0, 500'000'000, frame));
    EXPECT_FALSE(joinCue(order, 10'000'000'000, 0, 0));
}

}  // namespace

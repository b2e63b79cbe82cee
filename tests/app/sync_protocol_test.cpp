#include "app/receive_assembler.h"
#include "app/rejected_commands.h"
#include "app/sync_command.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <limits>
#include <utility>
#include <vector>

namespace {

// Records what each received command would make an instance do.
class RecordingTarget : public SyncCommandTarget {
public:
    QStringList calls;

    void commandPlay() override { calls << "Play"; }
    void commandStop() override { calls << "Stop"; }
    void commandRewind() override { calls << "Rewind"; }
    void commandRestart() override { calls << "Restart"; }
    void commandFullScreenSetting(bool on) override { calls << QString("Setting %1").arg(on); }
    void commandFullScreen(bool on) override { calls << QString("FullScreen %1").arg(on); }
    void commandLanguage(int index) override { calls << QString("Language %1").arg(index); }
    void commandLoop(bool on) override { calls << QString("Loop %1").arg(on); }
    void commandPosition(std::int64_t offset) override { calls << QString("Pos %1").arg(offset); }
    void commandClearList() override { calls << "ClearList"; }
    void commandListItem(std::int32_t item) override { calls << QString("Item %1").arg(item); }
    void commandCueSegment(std::int32_t index) override { calls << QString("Cue %1").arg(index); }
    void commandPositionInSegment(std::int64_t offset) override {
        calls << QString("InSegment %1").arg(offset);
    }
    void commandStartAt(std::int64_t ns) override { calls << QString("StartAt %1").arg(ns); }
    void commandJoin(const JoinOrder& o) override {
        calls << QString("Join %1 %2 %3").arg(o.segment).arg(o.frameFromIn).arg(o.shownAtNs);
    }
    void commandRefused(QByteArrayView command) override {
        calls << "Refused " + QString::fromLatin1(command.toByteArray());
    }
};

struct Receiver {
    RecordingTarget target;
    QStringList unknown;
    ReceiveAssembler assembler{[this](const QByteArray& command) {
        if (!dispatchSyncCommand(command, target)) {
            unknown << QString::fromLatin1(command);
        }
    }};
};

TEST(ReceiveAssembler, TakesCommandsOutOfNoiseSplitsAndRestarts) {
    Receiver r;
    r.assembler.Receive("xx_Stop*yy");
    r.assembler.Receive("_Pl_Stop*");
    // One frame over three reads: inside the code, inside the argument, only the "*".
    r.assembler.Receive("_Po");
    r.assembler.Receive("s 12");
    r.assembler.Receive("5*");
    r.assembler.Receive("_Stop*_Rewi*");
    EXPECT_EQ(r.target.calls, QStringList({"Stop", "Stop", "Pos 125", "Stop", "Rewind"}));
    EXPECT_FALSE(r.assembler.InFrame());
}

TEST(ReceiveAssembler, AZeroByteIsNoiseAndHidesNothing) {
    Receiver r;
    r.assembler.Receive(QByteArrayView("_Stop*\0_Rewi*", 13));
    EXPECT_EQ(r.target.calls, QStringList({"Stop", "Rewind"}));
}

TEST(ReceiveAssembler, AnOverlongFrameIsDroppedAndTheNextFrameCounts) {
    Receiver r;
    r.assembler.Receive("_SeLi");
    for (int i = 0; i < 1000; ++i) {
        r.assembler.Receive(QByteArray(4096, '7'));
        ASSERT_LE(r.assembler.ReceiveBuffer().size(), ReceiveAssembler::MaxFrameLength);
    }
    r.assembler.Receive("*_Play*");
    // A frame of exactly the cap still counts.
    r.assembler.Receive("_SeLi" + QByteArray(ReceiveAssembler::MaxFrameLength - 4, '1') + "*");
    EXPECT_EQ(r.target.calls.first(), "Play");
    EXPECT_EQ(r.target.calls.size(), 2);
    EXPECT_TRUE(r.target.calls.last().startsWith("Refused SeLi111"));
}

TEST(SyncCommand, TheTableIsExactAndCaseSensitive) {
    RecordingTarget target;
    for (const char* command :
         {"Play", "Stop", "Rewi", "ReSt", "Ful1", "Ful0", "FSc1", "FSc0", "LUSA", "LGer", "Rep1",
          "Rep0", "Pos -5", "ClLi", "SeLi250", "DoNC3"}) {
        EXPECT_TRUE(dispatchSyncCommand(command, target)) << command;
    }
    EXPECT_EQ(target.calls,
              QStringList({"Play", "Stop", "Rewind", "Restart", "Setting 1", "Setting 0",
                           "FullScreen 1", "FullScreen 0", "Language 0", "Language 1", "Loop 1",
                           "Loop 0", "Pos -5", "ClearList", "Item 250", "Cue 3"}));
    target.calls.clear();
    for (const char* command : {"play", "PLAY", "", "Pla", "Pos", "doNC1"}) {
        EXPECT_FALSE(dispatchSyncCommand(command, target)) << command;
    }
    EXPECT_TRUE(target.calls.isEmpty());
}

TEST(SyncCommand, ArgumentsThatAreNoNumbersAreRefused) {
    RecordingTarget target;
    for (const char* command : {"Pos abc", "Pos ", "Pos  5", "Pos +5", "Pos 9223372036854775808",
                                "DoNC", "DoNC2147483648", "DoNC1x", "SeLi", "SeLi-", "SeLi1 "}) {
        target.calls.clear();
        EXPECT_TRUE(dispatchSyncCommand(command, target));
        EXPECT_EQ(target.calls, QStringList("Refused " + QString::fromLatin1(command)));
    }
    target.calls.clear();
    dispatchSyncCommand("Pos -9223372036854775808", target);
    dispatchSyncCommand("Pos 9223372036854775807", target);
    dispatchSyncCommand("DoNC-2147483648", target);
    EXPECT_EQ(target.calls, QStringList({"Pos -9223372036854775808", "Pos 9223372036854775807",
                                         "Cue -2147483648"}));
}

// What the Master builds must be what a receiver runs: every builder, framed and sent through
// the assembler, reaches its own handler with its argument whole.
TEST(SyncCommand, EveryBuilderReachesItsHandler) {
    const std::vector<std::pair<QByteArray, QString>> sent{
        {SyncCommand::play(), "Play"},
        {SyncCommand::stop(), "Stop"},
        {SyncCommand::rewind(), "Rewind"},
        {SyncCommand::restart(), "Restart"},
        {SyncCommand::fullScreenSetting(true), "Setting 1"},
        {SyncCommand::fullScreenSetting(false), "Setting 0"},
        {SyncCommand::fullScreen(true), "FullScreen 1"},
        {SyncCommand::fullScreen(false), "FullScreen 0"},
        {SyncCommand::language(0), "Language 0"},
        {SyncCommand::language(1), "Language 1"},
        {SyncCommand::loop(true), "Loop 1"},
        {SyncCommand::loop(false), "Loop 0"},
        {SyncCommand::position(std::numeric_limits<std::int64_t>::min()),
         "Pos -9223372036854775808"},
        {SyncCommand::position(0), "Pos 0"},
        {SyncCommand::clearList(), "ClearList"},
        {SyncCommand::listItem("2147483647"), "Item 2147483647"},
        {SyncCommand::cueSegment(-1), "Cue -1"},
        {SyncCommand::cueSegment(12), "Cue 12"},
        {SyncCommand::positionInSegment(-7), "InSegment -7"},
        {SyncCommand::startAt(734'050'737'209), "StartAt 734050737209"},
        {SyncCommand::join(JoinOrder{3, -12, 9'000'000'000'123}), "Join 3 -12 9000000000123"},
    };
    Receiver r;
    QStringList expected;
    for (const auto& [command, call] : sent) {
        r.assembler.Receive(frameCommand(command));
        expected << call;
    }
    EXPECT_EQ(r.target.calls, expected);
    EXPECT_TRUE(r.unknown.isEmpty());
}

// The shared clock's commands with an argument out of place are refused alone; nothing the
// Master builds could end or restart a frame at an older receiver, which ignores the codes.
TEST(SyncCommand, MalformedClockCommandsAreRefused) {
    Receiver r;
    for (const char* command :
         {"PlAt", "PlAt12x", "Join1,2", "Join1,2,3,", "Join1,,3", "Join 1,2,3"}) {
        r.assembler.Receive(frameCommand(command));
    }
    EXPECT_EQ(r.target.calls.filter("Refused").size(), 6);
    EXPECT_EQ(r.target.calls.size(), 6);
    for (const QByteArray& command :
         {SyncCommand::startAt(-1), SyncCommand::join(JoinOrder{-1, -1, -1})}) {
        EXPECT_FALSE(command.contains('_') || command.contains('*')) << command.constData();
    }
}

// A link full of garbage: the first command is told at once, the rest of its second as one
// count; a quiet second later the next one is told at once again.
TEST(RejectedCommands, AFloodIsOneLineASecond) {
    using Reason = RejectedCommands::Reason;
    RejectedCommands rejected;
    EXPECT_EQ(rejected.note(Reason::Unknown, "Xyz1", 0),
              QStringList("unknown command ignored: \"Xyz1\""));
    QStringList lines;
    for (int i = 1; i < 10000; ++i) {
        lines << rejected.note(i % 2 ? Reason::Refused : Reason::Unknown, "Pos abc", i / 10);
        lines << rejected.flush(i / 10);
    }
    EXPECT_TRUE(lines.isEmpty());
    EXPECT_EQ(rejected.flushDue(), 1000);
    const QStringList count = rejected.flush(1000);
    ASSERT_EQ(count.size(), 1);
    EXPECT_TRUE(
        count[0].startsWith("9999 more commands ignored in the last second (4999 unknown, "
                            "5000 with an argument that is no number)"))
        << count[0].toStdString();
    EXPECT_TRUE(rejected.refusedInLastLines());
    // The flood goes on: counted into the next second, not told one by one.
    EXPECT_TRUE(rejected.note(Reason::Unknown, "abc", 1500).isEmpty());
    EXPECT_EQ(rejected.flush(2000).size(), 1);
    EXPECT_TRUE(rejected.flush(3000).isEmpty());
    EXPECT_FALSE(rejected.flushDue());
    EXPECT_EQ(rejected.note(Reason::Refused, "DoNCx", 3100).size(), 1);
}

TEST(RejectedCommands, TheSampleIsShortAndPrintable) {
    EXPECT_EQ(RejectedCommands::sample(QByteArrayView("a\0\\b\xff", 5)), "\"a\\x00\\x5cb\\xff\"");
    EXPECT_EQ(RejectedCommands::sample(QByteArray(1000, '7')),
              "\"" + QString(RejectedCommands::SampleLength, '7') + "...\"");
}

TEST(SyncCommand, FramesGoOutBetweenTheDelimiters) {
    EXPECT_EQ(frameCommand("Play"), QByteArray("_Play*"));
    EXPECT_EQ(frameCommand("Pos 125"), QByteArray("_Pos 125*"));
}

}  // namespace

// The Master's hello carries any show name through the framing whole, and an older receiver,
// which knows no such code, takes it for one unknown command and follows the next one.
TEST(MasterHello, AnyNameSurvivesTheFramingAndAnOlderReceiverGoesOn) {
    const MasterHello hello{QStringLiteral("frameLock PRO 9.9"),
                            QStringLiteral("Halle_2 *Süd*, 100%")};
    Receiver older;
    std::vector<QByteArray> commands;
    ReceiveAssembler assembler([&](const QByteArray& command) {
        commands.push_back(command);
        if (!dispatchSyncCommand(command, older.target)) {
            older.unknown << QString::fromLatin1(command.first(4));
        }
    });
    assembler.Receive(frameCommand(SyncCommand::hello(hello)) + frameCommand(SyncCommand::stop()));
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(parseHello(commands[0]), hello);
    EXPECT_EQ(older.unknown, QStringList({"Helo"}));
    EXPECT_EQ(older.target.calls, QStringList({"Stop"}));

    const MasterHello longName{QString(100, QLatin1Char('v')), QString(100, QChar(0x20AC))};
    const QByteArray command = SyncCommand::hello(longName);
    EXPECT_LT(command.size(), ReceiveAssembler::MaxFrameLength);
    EXPECT_EQ(parseHello(command)->showName, QString(MasterHello::MaxTextLength, QChar(0x20AC)));
    EXPECT_FALSE(parseHello("Helo%FF%FE,x"));
    EXPECT_FALSE(parseHello("Helox"));
    EXPECT_FALSE(parseHello("Play"));

    EXPECT_TRUE(sameShow(QString(), QStringLiteral("Halle 2")));
    EXPECT_TRUE(sameShow(QStringLiteral(" halle 2"), QString()));
    EXPECT_TRUE(sameShow(QStringLiteral("Halle 2 "), QStringLiteral("HALLE 2")));
    EXPECT_FALSE(sameShow(QStringLiteral("Halle 2"), QStringLiteral("Halle 3")));
}

#include "app/preflight.h"
#include "app/receive_assembler.h"
#include "app/show_report.h"
#include "app/slave_status_board.h"
#include "app/slave_status_reporter.h"
#include "app/status_frame.h"
#include "app/status_line.h"
#include "app/status_snapshot.h"
#include "app/sync_command.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

StatusMedia someMedia() {
    StatusMedia m;
    m.open = true;
    m.fileName = QStringLiteral("Saal_2 *Ü|%\t.avi");
    m.durationFrames = 9000;
    m.rateNumerator = 30000;
    m.rateDenominator = 1001;
    m.width = 1920;
    m.height = 1080;
    m.inPoint = 50;
    m.version = QStringLiteral("frameLock PRO 2.20");
    return m;
}

StatusPlay playing(std::int32_t segment, std::int64_t startedAtMs, std::int64_t sentAtMs) {
    StatusPlay p;
    p.state = PlayState::Playing;
    p.segment = segment;
    p.cueFrame = 30;
    p.startFrame = 30;
    p.startedAtMs = startedAtMs;
    p.sentAtMs = sentAtMs;
    return p;
}

std::optional<StatusReport> throughTheWire(const QByteArray& command) {
    std::optional<StatusReport> report;
    ReceiveAssembler assembler([&](const QByteArray& c) { report = parseStatus(c); });
    const QByteArray frame = frameCommand(command);
    // A byte at a time: the frame survives any cut, and nothing in it ends it early.
    for (const char c : frame) {
        assembler.Receive(QByteArrayView(&c, 1));
    }
    return report;
}

TEST(StatusFrames, EveryReportCrossesTheWireUnchanged) {
    const StatusMedia media = someMedia();
    const auto m = throughTheWire(buildStatus(media));
    ASSERT_TRUE(m && std::holds_alternative<StatusMedia>(*m));
    EXPECT_EQ(std::get<StatusMedia>(*m), media);

    StatusPlay play = playing(3, -5, 1765000000123);
    play.cueFrame.reset();
    play.stillCueing = true;
    const auto p = throughTheWire(buildStatus(play));
    ASSERT_TRUE(p && std::holds_alternative<StatusPlay>(*p));
    EXPECT_TRUE(std::get<StatusPlay>(*p).sameStateAs(play));
    EXPECT_EQ(std::get<StatusPlay>(*p).sentAtMs, play.sentAtMs);

    const StatusError error{QStringLiteral("COM1: _Stop* device gone")};
    const auto e = throughTheWire(buildStatus(error));
    ASSERT_TRUE(e && std::holds_alternative<StatusError>(*e));
    EXPECT_EQ(std::get<StatusError>(*e), error);

    for (const std::optional<std::int64_t> shown :
         {std::optional<std::int64_t>(-3), std::optional<std::int64_t>()}) {
        const StatusBeat beat{play, shown, shown.has_value(), QStringLiteral("Saal|2_*")};
        const auto b = throughTheWire(buildStatus(beat));
        ASSERT_TRUE(b && std::holds_alternative<StatusBeat>(*b));
        const StatusBeat& got = std::get<StatusBeat>(*b);
        EXPECT_TRUE(got.play.sameStateAs(play));
        EXPECT_EQ(got.shownFrame, shown);
        EXPECT_EQ(got.pictureShouldMove, shown.has_value());
        EXPECT_EQ(got.name, beat.name);
    }
}

TEST(StatusFrames, LongTextIsShortenedOnACharacterBoundaryAndStillParses) {
    StatusError error{QString(200, QChar(0x00DC))};
    const QByteArray command = buildStatus(error);
    EXPECT_LE(command.size() - 4, MaxStatusText);
    const auto parsed = parseStatus(command);
    ASSERT_TRUE(parsed);
    const QString text = std::get<StatusError>(*parsed).text;
    EXPECT_EQ(text, QString(text.size(), QChar(0x00DC)));
    EXPECT_GT(text.size(), 50);
}

TEST(StatusFrames, AnythingOutOfPlaceIsRefusedWhole) {
    const QByteArray good = buildStatus(playing(1, 10, 20));
    ASSERT_TRUE(parseStatus(good));
    const QByteArray media = buildStatus(someMedia());
    for (const QByteArray& bad : {
             QByteArray("sSta"),                    // no fields
             QByteArray("sStaplay|1|||||0|0"),      // one field short
             good + "|1",                           // one too many
             good + "|1|1",                         // a heartbeat one short
             good + "|1|1|a|b",                     // a heartbeat one too many
             good + "|1|2|a",                       // a heartbeat whose flag is no flag
             QByteArray("sStaPLAY|1|||0|0|0|1"),    // unknown state
             QByteArray("sStaplay|+1|||0|0|0|1"),   // a plus sign
             QByteArray("sStaplay|1| 2||0|0|0|1"),  // a blank in a number
             QByteArray("sStaplay|1|||0|2|0|1"),    // a flag that is no flag
             QByteArray("sStaplay|-2|||0|0|0|1"),   // a segment below "none"
             QByteArray("sStaplay|1|||99999999999999999999|0|0|1"),
             QByteArray("sInf1|a|100|25|1|70000|240|0|v"),  // no such picture
             QByteArray("sInf1|a|100|25|0|320|240|0|v"),    // a rate over zero
             QByteArray("sInf1|a|-1|25|1|320|240|0|v"),     // a negative length
             QByteArray("sErr%4"),                          // a cut escape
             QByteArray("sErr%zz"),                         // not hex
             QByteArray("sErr%ff"),                         // hex in small letters
             QByteArray("sErr%FF"),                         // not UTF-8
             QByteArray("sErra|b"),                         // a separator that must be escaped
             QByteArray("sErr") + QByteArray(MaxStatusText + 1, 'a'),
             media.left(4) + media.mid(4).replace("1920", QByteArray(MaxStatusLength, '1')),
             QByteArray("sXyz1"),
             QByteArray("Play"),
         }) {
        EXPECT_FALSE(parseStatus(bad)) << bad.toStdString();
    }
}

// The command table of any Master runs nothing for a report, so an older Master ignores them.
TEST(StatusFrames, TheCommandTableRunsNothingForAReport) {
    class Silent : public SyncCommandTarget {
    public:
        int calls = 0;
        void commandPlay() override { ++calls; }
        void commandStop() override { ++calls; }
        void commandRewind() override { ++calls; }
        void commandRestart() override { ++calls; }
        void commandFullScreenSetting(bool) override { ++calls; }
        void commandFullScreen(bool) override { ++calls; }
        void commandLanguage(int) override { ++calls; }
        void commandLoop(bool) override { ++calls; }
        void commandPosition(std::int64_t) override { ++calls; }
        void commandClearList() override { ++calls; }
        void commandListItem(std::int32_t) override { ++calls; }
        void commandCueSegment(std::int32_t) override { ++calls; }
        void commandPositionInSegment(std::int64_t) override { ++calls; }
        void commandStartAt(std::int64_t) override { ++calls; }
        void commandJoin(const JoinOrder&) override { ++calls; }
        void commandRefused(QByteArrayView) override { ++calls; }
    } target;
    for (const QByteArray& report :
         {buildStatus(someMedia()), buildStatus(playing(1, 2, 3)), buildStatus(StatusError{}),
          buildStatus(StatusBeat{playing(1, 2, 3), 4, true, QStringLiteral("Play")})}) {
        EXPECT_TRUE(isStatusCommand(report));
        EXPECT_FALSE(dispatchSyncCommand(report, target)) << report.toStdString();
    }
    EXPECT_EQ(target.calls, 0);
}

TEST(StatusReporting, ASlaveSendsOnlyWhatChangedAndEverythingOnANewConnection) {
    StatusReporter reporter;
    const StatusMedia media = someMedia();
    EXPECT_EQ(reporter.changes(media, playing(1, 100, 1), {}).size(), 3u);
    // The clock moving on is no change.
    EXPECT_TRUE(reporter.changes(media, playing(1, 100, 2), {}).empty());
    const auto changed = reporter.changes(media, playing(2, 100, 3), {});
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_TRUE(changed.front().startsWith(StatusCode::Play));
    reporter.reset();
    EXPECT_EQ(reporter.changes(media, playing(2, 100, 4), {}).size(), 3u);

    // The heartbeat goes whatever changed: at once, then whenever BeatEveryMs have passed, and
    // at once again on a new connection.
    const StatusBeat beat{playing(2, 100, 4), 7, true, QStringLiteral("Saal 2")};
    ASSERT_TRUE(reporter.beat(beat, 5'000));
    EXPECT_FALSE(reporter.beat(beat, 5'000 + StatusReporter::BeatEveryMs - 1));
    // A place not reported yet (a start whose time is still sampled) waits for its report.
    StatusBeat later = beat;
    later.play = playing(3, 200, 9);
    const std::optional<QByteArray> next =
        reporter.beat(later, 5'000 + StatusReporter::BeatEveryMs);
    ASSERT_TRUE(next);
    const std::optional<StatusReport> told = parseStatus(*next);
    ASSERT_TRUE(told && std::holds_alternative<StatusBeat>(*told));
    EXPECT_TRUE(std::get<StatusBeat>(*told).play.sameStateAs(playing(2, 100, 4)));
    EXPECT_EQ(std::get<StatusBeat>(*told).play.sentAtMs, 9);
    reporter.reset();
    EXPECT_TRUE(reporter.beat(beat, 5'000 + StatusReporter::BeatEveryMs + 1));

    // 25 frames a second: 10 frames into the run, 400 ms after it began.
    EXPECT_EQ(pictureStartMs(10'000, 10, 25, 1), 9'600);
    EXPECT_EQ(pictureStartMs(10'000, 10, 0, 1), std::nullopt);
}

TEST(StatusBoard, ConnectionsNeverMixAndAFloodIsCutToTheBudget) {
    SlaveStatusBoard board;
    int a = 0;
    int b = 0;
    const QByteArray first = frameCommand(buildStatus(someMedia()));
    const QByteArray second = frameCommand(buildStatus(playing(4, 1000, 900)));
    // Each connection's frame arrives in two pieces, the pieces interleaved.
    const qsizetype half = first.size() / 2;
    board.receive(&a, QByteArrayView(first).first(half), 0, 0);
    board.receive(&b, QByteArrayView(second).first(5), 0, 1000);
    EXPECT_TRUE(board.receive(&a, QByteArrayView(first).sliced(half), 0, 0));
    EXPECT_TRUE(board.receive(&b, QByteArrayView(second).sliced(5), 0, 1000));
    ASSERT_TRUE(board.find(&a) && board.find(&b));
    EXPECT_EQ(board.find(&a)->media, someMedia());
    EXPECT_FALSE(board.find(&a)->play);
    // Sent at 900 on the Slave's clock, received at 1000 on the Master's.
    EXPECT_EQ(board.find(&b)->startedAtMasterMs(), 1100);

    QByteArray flood;
    for (int i = 0; i < 1000; ++i) {
        flood += frameCommand(buildStatus(playing(5 + i, 1000, 900)));
    }
    board.receive(&b, flood, 10, 1000);
    EXPECT_GE(board.droppedReports(), 1000 - SlaveStatusBoard::ReportsPerSecond);
    const std::int32_t reached = board.find(&b)->play->segment;
    EXPECT_LT(reached, 5 + SlaveStatusBoard::ReportsPerSecond);
    // A second later the budget is back.
    board.receive(&b, frameCommand(buildStatus(playing(7000, 1000, 900))), 1010, 1000);
    EXPECT_EQ(board.find(&b)->play->segment, 7000);

    board.retain({&b}, 1010);
    EXPECT_FALSE(board.find(&a));
    board.forget(&b);
    EXPECT_FALSE(board.find(&b));
}

// A Slave's health as the Master reads it from the reports over time (ms of its monotonic
// clock): heard, silent, back, frozen, and held still legitimately at a Sync point.
TEST(StatusHealth, ASilentOrStillScreenIsToldAndComesBackWhenItRecovers) {
    SlaveStatusBoard board;
    int a = 0;
    int older = 0;
    const auto beat = [&](std::int64_t at, std::int64_t shown, bool moving) {
        StatusPlay play = playing(2, 1000, at);
        board.receive(&a, frameCommand(buildStatus(StatusBeat{play, shown, moving, "Saal 2"})), at,
                      at);
    };
    const auto health = [&](std::int64_t at) { return slaveHealth(*board.find(&a), at); };
    board.retain({&a, &older}, 0);
    EXPECT_EQ(health(0), ScreenHealth::Starting);

    beat(0, 10, true);
    beat(1'000, 35, true);
    EXPECT_EQ(health(1'000 + NotRespondingMs), ScreenHealth::Ok);
    EXPECT_EQ(health(1'001 + NotRespondingMs), ScreenHealth::NotResponding);
    beat(4'500, 120, true);
    EXPECT_EQ(health(4'500), ScreenHealth::Ok);

    // The same frame shown while it should move: frozen once it stood FrozenMs.
    beat(5'500, 120, true);
    EXPECT_EQ(health(5'500), ScreenHealth::Ok);
    beat(4'500 + SlaveStatusBoard::FrozenMs, 120, true);
    EXPECT_EQ(health(4'500 + SlaveStatusBoard::FrozenMs), ScreenHealth::Frozen);
    // Held at a Sync point, then started again on that frame: nothing wrong.
    beat(7'500, 120, false);
    EXPECT_EQ(health(7'500), ScreenHealth::Ok);
    beat(8'500, 120, true);
    EXPECT_EQ(health(8'500), ScreenHealth::Ok);

    // An older Slave reports on change alone: its silence says nothing.
    board.receive(&older, frameCommand(buildStatus(playing(2, 1000, 0))), 0, 0);
    EXPECT_EQ(slaveHealth(*board.find(&older), 60'000), ScreenHealth::Ok);
}

// The snapshot's entry of a Slave: a stable id, its name beside its address, its health before
// its last state in the lines, and one lateness per start.
TEST(StatusSnapshot, EachSlaveKeepsItsIdNameAndLatenessHistory) {
    ShowFacts show;
    show.syncPoints = {QStringLiteral("0"), QStringLiteral("30"), QStringLiteral("60")};
    show.master = {QStringLiteral("Master"), true, 100, 25, 1, 0};
    show.startedSegment = 1;
    show.startedAtMs = 10'000;
    SlaveStatusBoard board;
    int a = 0;
    int b = 0;
    board.retain({&a, &b}, 0);
    const QString address = QStringLiteral("10.0.0.2:4000");
    board.receive(&a,
                  frameCommand(buildStatus(
                      StatusBeat{playing(1, 10'020, 0), 5, true, QStringLiteral("Wall\nleft")})),
                  0, 0);
    const ScreenStatus first = slaveScreen(*board.find(&a), address, show, 0, nullptr);
    // The operator's count, 1 for the first: index 1 of a list that begins with 0.
    EXPECT_EQ(first.id, slaveId(*board.find(&a)));
    EXPECT_NE(first.id, slaveId(*board.find(&b)));
    EXPECT_EQ(first.segment, 1);
    EXPECT_EQ(first.shownFrame, 5);
    EXPECT_EQ(first.lateMs, std::vector<std::int64_t>{20});
    EXPECT_EQ(screenLabel(first), QStringLiteral("10.0.0.2:4000 (Wall\\x0aleft)"));
    EXPECT_EQ(shortState(first, show, StatusWords{}), QStringLiteral("seg 1 \u25B6 30 \u2713"));

    // The same start seen again adds nothing; the next start adds its lateness.
    const ScreenStatus again = slaveScreen(*board.find(&a), address, show, 500, &first);
    EXPECT_EQ(again.lateMs, first.lateMs);
    show.startedSegment = 2;
    show.startedAtMs = 11'200;
    board.receive(&a, frameCommand(buildStatus(StatusBeat{playing(2, 11'290, 900), 35, true, {}})),
                  900, 900);
    const ScreenStatus next = slaveScreen(*board.find(&a), address, show, 900, &again);
    EXPECT_EQ(next.lateMs, (std::vector<std::int64_t>{20, 90}));

    // Silent: the line says so first and no longer claims it is in step.
    const ScreenStatus silent =
        slaveScreen(*board.find(&a), address, show, 901 + NotRespondingMs, &next);
    EXPECT_EQ(silent.health, ScreenHealth::NotResponding);
    EXPECT_EQ(shortState(silent, show, StatusWords{}),
              QStringLiteral("not responding \u00B7 seg 2 \u25B6 30 late 90 ms"));
    // A new connection where the old one stood is another screen.
    const QString old = first.id;
    board.forget(&a);
    board.retain({&a, &b}, 1'000);
    EXPECT_NE(slaveId(*board.find(&a)), old);
}

TEST(StatusCheck, NamesEveryInstanceThatDoesNotFitTheShow) {
    const StatusWords words;
    const QStringList points{QStringLiteral("0"), QStringLiteral("250"), QStringLiteral("500")};
    const InstanceMedia master{QStringLiteral("Master"), true, 1000, 30000, 1001, 0};
    std::vector<InstanceMedia> all{master};
    all.push_back({QStringLiteral("fits"), true, 600, 60000, 2002, 100});
    all.push_back({QStringLiteral("short"), true, 600, 30000, 1001, 200});
    all.push_back({QStringLiteral("in"), true, 600, 30000, 1001, 601});
    all.push_back({QStringLiteral("rate"), true, 1000, 25, 1, 0});
    all.push_back({QStringLiteral("audio"), true, 1000, 0, 1, 0});
    all.push_back({QStringLiteral("none"), false, 0, 0, 1, 0});
    EXPECT_EQ(preflightProblems(all, points, words),
              (QStringList{QStringLiteral("short: file too short for Sync point 500"),
                           QStringLiteral("in: In point past the end of the file"),
                           QStringLiteral("rate: 25 fps \u2260 29.97 fps"),
                           QStringLiteral("none: no media")}));
}

TEST(StatusLines, APlayingSlaveIsMeasuredAgainstTheMastersStartOfTheSameSegment) {
    const StatusWords words;
    ShowFacts show;
    show.syncPoints = {QStringLiteral("30"), QStringLiteral("60")};
    show.master = {QStringLiteral("Master"), true, 100, 25, 1, 0};
    show.startedSegment = 1;
    show.startedAtMs = 10'000;
    SlaveStatus slave;
    slave.media = someMedia();
    slave.media->rateNumerator = 25;
    slave.media->rateDenominator = 1;
    slave.media->inPoint = 0;
    slave.clockOffsetMs = 0;
    slave.play = playing(1, 10'030, 0);
    const auto line = [&] {
        return shortState(slaveScreen(slave, {}, show, 0, nullptr), show, words);
    };
    EXPECT_EQ(line(), QStringLiteral("seg 1 \u25B6 30 \u2713"));
    // The lines count as the list's rows do; the snapshot counts 1 for the first segment.
    EXPECT_EQ(slaveScreen(slave, {}, show, 0, nullptr).segment, 2);
    slave.play->startedAtMs = 10'080;
    EXPECT_EQ(line(), QStringLiteral("seg 1 \u25B6 30 late 80 ms"));
    // Against another segment's start there is nothing to measure.
    slave.play->segment = 0;
    EXPECT_EQ(line(), QStringLiteral("seg 0 \u25B6 30"));
    slave.play->state = PlayState::Cued;
    slave.media->durationFrames = 40;
    slave.error = QStringLiteral("COM1 gone");
    EXPECT_EQ(line(),
              QStringLiteral("cued 0 \u00B7 file too short for Sync point 60 \u00B7 COM1 gone"));
    EXPECT_EQ(shortState(slaveScreen(SlaveStatus{}, {}, show, 0, nullptr), show, words), QString());
    EXPECT_EQ(
        mediaSummary(*slave.media, words),
        QStringLiteral("Saal_2 *\u00DC|%\\x09.avi \u00B7 1920x1080 \u00B7 25 fps \u00B7 40 frames "
                       "\u00B7 In 0 \u00B7 frameLock PRO 2.20"));
}

// A Slave's error text goes to the Master's log and list: what a terminal or a list would act on
// (a line break, an escape sequence, a direction override) must come out as text.
TEST(StatusLines, APeersTextCannotBreakOrTurnALine) {
    SlaveStatus slave;
    slave.error =
        QStringLiteral("x\r\x1b[2K12.5 received Stop\u2028\u202Epots \\x41 \u00FC\U0001F3A5");
    const QString line =
        shortState(slaveScreen(slave, {}, ShowFacts{}, 0, nullptr), ShowFacts{}, StatusWords{});
    EXPECT_EQ(line, QStringLiteral("x\\x0d\\x1b[2K12.5 received Stop\\u2028\\u202epots \\x5cx41 "
                                   "\u00FC\U0001F3A5"));
}

TEST(ShowReportFile, OneLinePerStartWithEveryInstanceAgainstTheMaster) {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("show.csv"));
    const QDateTime at(QDate(2026, 12, 7), QTime(21, 0, 0, 5));
    {
        ShowReport report(path);
        report.begin(at, 2,
                     {{QStringLiteral("master"), QStringLiteral("Master")},
                      {QStringLiteral("slave-1"), QStringLiteral("10.0.0.2:4000")},
                      {QStringLiteral("slave-2"), QStringLiteral("10.0.0.3:4000 (bad,name)")}});
        report.record(QStringLiteral("slave-1"), 2, 30, 1'040);
        report.record(QStringLiteral("slave-1"), 1, 99, 99);  // another start: not this one
        report.record(QStringLiteral("master"), 2, 30, 1'000);
        report.record(QStringLiteral("slave-2"), 2, 31, 990);
        // Complete: written at once. The next start lacks a Slave, which stopped answering, and
        // is written when it ends.
        report.begin(at.addSecs(1), 3,
                     {{QStringLiteral("master"), QStringLiteral("Master")},
                      {QStringLiteral("slave-1"), QStringLiteral("10.0.0.2:4000")}});
        report.markUnwell(QStringLiteral("slave-1"), QStringLiteral("not responding"));
        report.markUnwell(QStringLiteral("slave-1"), QStringLiteral("not responding"));
        report.record(QStringLiteral("master"), 3, 60, 2'000);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "2026-12-07 21:00:00.005,2,Master,30,0,10.0.0.2:4000,30,40,10.0.0.3:4000 (bad name),"
              "31,-10\n"
              "2026-12-07 21:00:01.005,3,Master,60,0,10.0.0.2:4000 not responding,,\n");
}

}  // namespace

namespace {

ScreenStatus connectedScreen(const QString& id, const QString& name, const QString& address) {
    ScreenStatus screen;
    screen.id = id;
    screen.name = name;
    screen.address = address;
    screen.health = ScreenHealth::Ok;
    return screen;
}

}  // namespace

TEST(StatusSnapshot, ASlaveThatLeftStaysGoneUntilItComesBackOrItsTimeIsUp) {
    ScreenStatus master;
    master.id = QStringLiteral("master");
    master.master = true;
    ShowSnapshot before;
    // Two instances on one machine may carry the same name: one that stays is not the other.
    before.screens = {master, connectedScreen("slave-1", "Right", "10.0.0.3:4001"),
                      connectedScreen("slave-2", "Right", "10.0.0.3:4000")};
    std::map<QString, std::int64_t> goneSince;

    // Slave 2's connection ended: it stays, gone, with what was known of it.
    ShowSnapshot now;
    now.screens = {master, before.screens[1]};
    keepGoneScreens(now, before, goneSince, 1'000);
    ASSERT_EQ(now.screens.size(), 3U);
    ASSERT_NE(now.screen("slave-2"), nullptr);
    EXPECT_EQ(now.screen("slave-2")->health, ScreenHealth::Gone);
    EXPECT_EQ(now.screen("slave-2")->address, QStringLiteral("10.0.0.3:4000"));
    EXPECT_EQ(now.screen("slave-1")->health, ScreenHealth::Ok);

    // It stays while its time runs, counted from when it left, and goes when it is up.
    ShowSnapshot later;
    later.screens = {master, before.screens[1]};
    keepGoneScreens(later, now, goneSince, 1'000 + GoneKeptMs - 1);
    EXPECT_NE(later.screen("slave-2"), nullptr);
    ShowSnapshot expired;
    expired.screens = {master, before.screens[1]};
    keepGoneScreens(expired, later, goneSince, 1'000 + GoneKeptMs);
    EXPECT_EQ(expired.screen("slave-2"), nullptr);

    // The same machine restarted comes back under a new id: the gone one is not kept beside it.
    ShowSnapshot back;
    back.screens = {master, before.screens[1],
                    connectedScreen("slave-3", "Right", "10.0.0.3:4100")};
    goneSince.clear();
    keepGoneScreens(back, now, goneSince, 2'000);
    EXPECT_EQ(back.screen("slave-2"), nullptr);
    EXPECT_EQ(back.screens.size(), 3U);
    EXPECT_TRUE(goneSince.empty());
}

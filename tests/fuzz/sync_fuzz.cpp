// libFuzzer target: arbitrary bytes from a link, cut into arbitrary chunks, through the receive
// assembler into the show's controllers, a Slave's and a Master's, each driving its player over a
// media double. Nothing may crash, overflow or grow past the assembler's cap, and every range
// handed to the media lies in 64 bits, within the file, and runs forward. A Slave sends nothing; a
// Master passes on exactly the commands its relay names, first and as they came, and one it does
// not act on leaves its media as it was. The chunks come from two interleaved links, framed apart;
// the same bytes go to the Master's status board as those two connections, and every status report
// that parses must be built again into a report that parses to the same; so must every Master's
// hello.
#include "app/monotonic_time.h"
#include "app/receive_assembler.h"
#include "app/relay_policy.h"
#include "app/show_controller.h"
#include "app/show_hooks.h"
#include "app/slave_status_board.h"
#include "app/status_frame.h"
#include "app/sync_command.h"
#include "media/graph_player.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The shared clock's time while an instance is on it, in ns.
constexpr std::int64_t SharedNowNs = 5'000'000'000;
constexpr std::int64_t FrameNs = 40'000'000;

// The fuzzer's own monotonic time, moved on by the bytes, so that a run repeats exactly.
std::int64_t fuzzNowMs = 0;

// Answers like an open file of the given length, on the shared clock or not; counts the calls
// that move the media.
class FuzzMedia final : public MediaService {
public:
    FuzzMedia(std::int64_t length, bool sharedClock) : length_(length), shared_(sharedClock) {}

    int moves = 0;

    bool createGraph() override { return true; }
    void query(MediaRef) override {}
    void release(MediaRef) override {}
    bool renderFile(const QString&) override { return true; }
    bool putCaption(const QString&) override { return true; }
    int width() override { return 320; }
    void putLeft(int) override {}
    void putTop(int) override {}
    WindowHandle messageDrain() override { return nullptr; }
    void putMessageDrain(WindowHandle) override {}
    void putFullScreenMode(bool) override {}
    void setNotifyWindow(WindowHandle, QEvent::Type, std::intptr_t) override {}
    bool getEvent(MediaEventRecord&, int) override { return false; }
    void freeEventParams(const MediaEventRecord&) override {}
    // A file of odd length cannot count frames: positions go in units of 100 ns.
    bool setTimeFormatFrame() override { return (length_ & 1) == 0; }
    bool duration(std::int64_t& value) override {
        value = length_;
        return true;
    }
    std::int64_t currentPosition() override { return position_; }
    void setPositions(std::int64_t current, std::int64_t stop) override {
        checkRange(current, stop);
        position_ = current;
        ++moves;
    }
    void setNextRange(std::int64_t current, std::int64_t stop) override {
        checkRange(current, stop);
    }
    SharedClockState sharedClock() override {
        SharedClockState clock;
        clock.shared = shared_;
        clock.nowNs = SharedNowNs;
        return clock;
    }
    bool runAt(std::int64_t) override {
        ++moves;
        return shared_;
    }
    std::int64_t frameDurationNs() override { return (length_ & 1) == 0 ? FrameNs : 0; }
    void run() override { ++moves; }
    void pause() override { ++moves; }
    void stop() override { ++moves; }
    void keepDisplayAwake(bool) override {}

private:
    // Counted in frames, a range lies within the file and runs forward.
    void checkRange(std::int64_t current, std::int64_t stop) const {
        if ((length_ & 1) == 0 && (current < 0 || current > stop || stop > length_)) {
            std::abort();
        }
    }

    std::int64_t length_;
    bool shared_;
    std::int64_t position_ = 0;
};

class QuietHooks final : public ShowHooks {
public:
    void StatusAfterCommand(const QByteArray&) override {}
    void StatusSegmentStarted(std::optional<std::int64_t>) override {}
    void StatusLooped() override {}
    void StatusRestarted() override {}
    void StatusJoined(std::int64_t, std::int64_t) override {}
    void PreflightCheck() override {}
    bool SetLanguage(int) override { return true; }
    int ShowMessageByKey(const QString&, const QString&, int) override { return 0; }
    void CommandArrived() override {}
};

// One instance of the show: its controller on its player, wired as the main window wires them,
// with what it sends collected. The controller goes first, before the player and the timers it
// holds.
struct Instance {
    Instance(bool master, std::int32_t inPoint, std::int64_t length, bool sharedClock) {
        auto service = std::make_unique<FuzzMedia>(length, sharedClock);
        media = service.get();
        player = std::make_unique<TGraphPlayer>(std::move(service), nullptr);
        player->setFileName(QStringLiteral("fuzz.avi"));
        startTimer.setInterval(1000);
        playTimer.setSingleShot(true);
        show = std::make_unique<ShowController>(
            *player, hooks, [this](const QByteArray& command) { sent << command; },
            ShowTimers{&startTimer, &playTimer, &testTimer, &clockTimer});
        ShowModel model;
        model.master = master;
        model.lan = true;
        model.inPoint = inPoint;
        model.loop = true;
        show->takeSettings(model);
        player->OpenMedia();
    }

    FuzzMedia* media = nullptr;
    QuietHooks hooks;
    QTimer startTimer;
    QTimer playTimer;
    QTimer testTimer;
    QTimer clockTimer;
    std::unique_ptr<TGraphPlayer> player;
    std::unique_ptr<ShowController> show;
    QList<QByteArray> sent;
};

// Whether the dispatcher runs the command: a known code with a good argument.
class AcceptProbe final : public SyncCommandTarget {
public:
    bool accepted = false;

    void commandPlay() override {}
    void commandStop() override {}
    void commandRewind() override {}
    void commandRestart() override {}
    void commandFullScreenSetting(bool) override {}
    void commandFullScreen(bool) override {}
    void commandLanguage(int) override {}
    void commandLoop(bool) override {}
    void commandPosition(std::int64_t) override {}
    void commandClearList() override {}
    void commandListItem(std::int32_t) override {}
    void commandCueSegment(std::int32_t) override {}
    void commandPositionInSegment(std::int64_t) override {}
    void commandStartAt(std::int64_t) override {}
    void commandJoin(const JoinOrder&) override {}
    void commandRefused(QByteArrayView) override {}
    void commandAccepted(QByteArrayView) override { accepted = true; }
};

bool accepted(const QByteArray& command) {
    AcceptProbe probe;
    return dispatchSyncCommand(command, probe) && probe.accepted;
}

// The Master passes on what its relay names, before anything of its own, and nothing else of
// what it received; a command it does not act on moves nothing.
void dispatchToMaster(Instance& master, const QByteArray& command) {
    const qsizetype sentBefore = master.sent.size();
    const int movesBefore = master.media->moves;
    master.show->DispatchCommand(command);
    const QList<QByteArray> sent = master.sent.mid(sentBefore);
    const MasterRelay relay = masterRelay(command);
    const bool passedOn = !sent.isEmpty() && sent.first() == command;
    const bool relayed = relay.relays && accepted(command) && !isStatusCommand(command);
    if (passedOn != relayed || sent.count(command) > 1) {
        std::abort();
    }
    if (!relay.acts && (master.media->moves != movesBefore || !sent.isEmpty())) {
        std::abort();
    }
}

// A Master's hello built again from what was parsed frames whole (no "_" or "*", within the
// assembler's cap) and parses back to the same texts, cut to their longest.
void checkHelloRoundTrip(const QByteArray& command) {
    const std::optional<MasterHello> hello = parseHello(command);
    if (!hello) {
        return;
    }
    const QByteArray again = SyncCommand::hello(*hello);
    if (again.contains('_') || again.contains('*') ||
        again.size() > ReceiveAssembler::MaxFrameLength ||
        parseHello(again) != MasterHello{hello->version.left(MasterHello::MaxTextLength),
                                         hello->showName.left(MasterHello::MaxTextLength)}) {
        std::abort();
    }
}

void checkStatusRoundTrip(const QByteArray& command) {
    const std::optional<StatusReport> report = parseStatus(command);
    if (!report) {
        return;
    }
    const std::optional<StatusReport> again =
        std::visit([](const auto& r) { return parseStatus(buildStatus(r)); }, *report);
    if (!again || again->index() != report->index()) {
        std::abort();
    }
    if (const auto* play = std::get_if<StatusPlay>(&*report)) {
        const auto& other = std::get<StatusPlay>(*again);
        if (!play->sameStateAs(other) || play->sentAtMs != other.sentAtMs) {
            std::abort();
        }
    } else if (const auto* media = std::get_if<StatusMedia>(&*report)) {
        if (*media != std::get<StatusMedia>(*again)) {
            std::abort();
        }
    } else if (const auto* beat = std::get_if<StatusBeat>(&*report)) {
        const auto& other = std::get<StatusBeat>(*again);
        if (!beat->play.sameStateAs(other.play) || beat->play.sentAtMs != other.play.sentAtMs ||
            beat->shownFrame != other.shownFrame ||
            beat->pictureShouldMove != other.pictureShouldMove || beat->name != other.name) {
            std::abort();
        }
    } else if (std::get<StatusError>(*report) != std::get<StatusError>(*again)) {
        std::abort();
    }
}

// The first bytes choose the instances: their In point and whether they are on the shared clock,
// their files' length and the chunk size.
void run(const std::uint8_t* data, std::size_t size) {
    std::uint32_t word = 0;
    std::memcpy(&word, data, sizeof word);
    const auto inPoint = static_cast<std::int32_t>(word & 0x7fffffff);
    const bool sharedClock = (word & 0x80000000) != 0;
    const std::int64_t length = static_cast<std::int64_t>(data[4]) << (data[5] % 56);
    Instance slave(false, inPoint, length, sharedClock);
    Instance master(true, inPoint, length, sharedClock);
    const auto dispatch = [&](const QByteArray& command) {
        slave.show->DispatchCommand(command);
        dispatchToMaster(master, command);
        checkStatusRoundTrip(command);
        checkHelloRoundTrip(command);
    };
    // Two connections, one assembler each.
    ReceiveAssembler assemblers[2] = {ReceiveAssembler(dispatch), ReceiveAssembler(dispatch)};
    SlaveStatusBoard board;
    const std::size_t chunk = 1 + data[5] % 97;
    for (std::size_t at = 6; at < size; at += chunk) {
        const std::size_t n = std::min(chunk, size - at);
        const QByteArrayView bytes(reinterpret_cast<const char*>(data + at),
                                   static_cast<qsizetype>(n));
        fuzzNowMs = static_cast<std::int64_t>(at);
        ReceiveAssembler& assembler = assemblers[(at / chunk) % 2];
        assembler.Receive(bytes);
        board.receive(&assembler, bytes, fuzzNowMs, fuzzNowMs);
        if (assembler.ReceiveBuffer().size() > ReceiveAssembler::MaxFrameLength) {
            std::abort();
        }
    }
    if (!slave.sent.isEmpty()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The controller's timers need an event dispatcher; what it logs is of no use here.
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    monotonic_time::testClock = [] { return fuzzNowMs; };
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 6) {
        run(data, size);
        // The controllers' single-shot timers that have not fired belong to the event dispatcher
        // and would outlive them until they fire: an input leaves nothing behind for the next.
        qDeleteAll(QAbstractEventDispatcher::instance()->children());
    }
    return 0;
}

// libFuzzer target: arbitrary bytes from a link, cut into arbitrary chunks, through the receive
// assembler and the command dispatcher into a receiver that does what a Slave does with each
// command (list, segments, positions) on a media player over a media double. Nothing may crash,
// overflow or grow past the assembler's cap, and every range handed to the media lies in 64 bits.
// The chunks come from two interleaved links, framed apart; the same bytes go to the Master's
// status board as those two connections, and every status report that parses must be built
// again into a report that parses to the same; so must every Master's hello.
#include "app/join_cue.h"
#include "app/receive_assembler.h"
#include "app/segment_math.h"
#include "app/slave_status_board.h"
#include "app/status_frame.h"
#include "app/sync_command.h"
#include "media/graph_player.h"

#include <QStringList>
#include <cstdint>
#include <cstdlib>

namespace {

// Answers like an open file of the given length; keeps only what the player last set.
class FuzzMedia final : public MediaService {
public:
    std::int64_t length = 1000;
    std::int64_t position = 0;

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
    bool setTimeFormatFrame() override { return (length & 1) == 0; }
    bool duration(std::int64_t& value) override {
        value = length;
        return true;
    }
    std::int64_t currentPosition() override { return position; }
    void setPositions(std::int64_t current, std::int64_t) override { position = current; }
    void run() override {}
    void pause() override {}
    void stop() override {}
    void keepDisplayAwake(bool) override {}
};

class FuzzReceiver final : public SyncCommandTarget {
public:
    explicit FuzzReceiver(std::int32_t inPoint, std::int64_t length) : inPoint_(inPoint) {
        auto media = std::make_unique<FuzzMedia>();
        media->length = length;
        player_ = std::make_unique<TGraphPlayer>(std::move(media), nullptr);
        player_->setFileName(QStringLiteral("fuzz.avi"));
        QObject::connect(player_.get(), &TGraphPlayer::graphBuilt, [this] { cue(0); });
        player_->OpenMedia();
    }

    void commandPlay() override { player_->PlayMedia(); }
    void commandStop() override { player_->StopMedia(); }
    void commandRewind() override { cue(0); }
    void commandRestart() override { cue(0); }
    void commandFullScreenSetting(bool) override {}
    void commandFullScreen(bool on) override { player_->SetFullScreen(on); }
    void commandLanguage(int) override {}
    void commandLoop(bool) override {}
    void commandPosition(std::int64_t offset) override {
        player_->StopMedia();
        player_->SeekToFrame(frameFromOffset(inPoint_, offset));
        player_->PauseMedia();
        (void)positionBarValue(player_->CurrentFrame(), player_->DurationFrames());
    }
    void commandClearList() override { list_.clear(); }
    void commandListItem(std::int32_t item) override {
        if (list_.size() < 4096) {
            list_ << QString::number(item);
        }
    }
    void commandCueSegment(std::int32_t index) override { cue(index); }
    void commandPositionInSegment(std::int64_t offset) override {
        const std::int64_t frame =
            clampFrame(frameFromOffset(inPoint_, offset), player_->DurationFrames());
        player_->SetPlayRange(frame, player_->DurationFrames());
        player_->PauseMedia();
    }
    void commandStartAt(std::int64_t sharedTimeNs) override { player_->PlayMediaAt(sharedTimeNs); }
    void commandJoin(const JoinOrder& order) override {
        if (const std::optional<JoinCue> at =
                joinCue(order, 5'000'000'000, 700'000'000, 40'000'000)) {
            const std::int64_t frame =
                clampFrame(frameFromOffset(inPoint_, at->frameFromIn), player_->DurationFrames());
            player_->SetPlayRange(frame, player_->DurationFrames());
            player_->PlayMediaAt(at->nextShownAtNs);
        }
    }
    void commandRefused(QByteArrayView) override {}

private:
    void cue(int index) {
        const int effective = effectiveSegmentIndex(list_, index);
        if (const auto range =
                segmentRange(list_, effective, inPoint_, player_->DurationFrames())) {
            player_->SetPlayRange(range->start, range->stop);
        }
        player_->PauseMedia();
    }

    std::int32_t inPoint_;
    QStringList list_;
    std::unique_ptr<TGraphPlayer> player_;
};

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    // The first bytes choose the instance: its In point, its file's length and the chunk size.
    std::int32_t inPoint = 0;
    std::memcpy(&inPoint, data, sizeof inPoint);
    const std::int64_t length = static_cast<std::int64_t>(data[4]) << (data[5] % 56);
    FuzzReceiver receiver(inPoint & 0x7fffffff, length);
    const auto dispatch = [&](const QByteArray& command) {
        dispatchSyncCommand(command, receiver);
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
        ReceiveAssembler& assembler = assemblers[(at / chunk) % 2];
        assembler.Receive(bytes);
        const std::int64_t now = static_cast<std::int64_t>(at);
        board.receive(&assembler, bytes, now, now);
        if (assembler.ReceiveBuffer().size() > ReceiveAssembler::MaxFrameLength) {
            std::abort();
        }
    }
    return 0;
}

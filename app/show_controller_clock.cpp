// Starts on the shared clock's time, and Slaves that come in while the show plays.
#include "app/show_controller.h"

#include "app/app_log.h"
#include "app/join_cue.h"
#include "app/show_hooks.h"
#include "media/graph_player.h"

#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

constexpr std::int64_t NsPerMs = 1'000'000;
// From the announcement to the start: a Slave on a loaded machine must have read the
// announcement and set its pipeline by then. A Master and four Slaves of 720p MJPEG on two
// cores did so 3.7 ms (median) and 32 ms (max) after the Master announced.
constexpr int StartLeadMs = 80;
// A joining Slave cues the frame current this long after it heard of the show, so that it has
// prerolled that frame when the show reaches it (a seek into a long H.264 GOP takes 400 ms).
constexpr std::int64_t JoinLeadNs = 700 * NsPerMs;
// How far from now a start announced on the shared clock may lie.
constexpr std::int64_t MaxStartSkewNs = 5'000 * NsPerMs;

double ms(std::int64_t ns) {
    return static_cast<double>(ns) / static_cast<double>(NsPerMs);
}

}  // namespace

bool ShowController::StartOnSharedTime() {
    if (!model_.master || !model_.lan || !player_.MediaOpen()) {
        return false;
    }
    const SharedClockState clock = player_.SharedClock();
    if (!clock.shared) {
        return false;
    }
    const std::int64_t at = clock.nowNs + StartLeadMs * NsPerMs;
    const std::int64_t next = addFrames(player_.CurrentFrame(), 1);
    send(SyncCommand::startAt(at));
    if (!PlayFromPlace(at)) {
        model_.showStarted.reset();
        send(SyncCommand::play());
        return true;
    }
    model_.showStarted = JoinOrder{model_.cuedSegment, offsetFromIn(next, model_.inPoint), at};
    qCInfo(lcSync) << "start at" << at << "ns on the shared clock: frame" << next << "in"
                   << StartLeadMs << "ms";
    // An instance without the shared clock shows the next frame a frame after "Play", as the
    // Master did when it started at once: "Play" goes out a frame before the shared time.
    const auto frameMs = static_cast<int>(player_.FrameDurationNs() / NsPerMs);
    timers_.play->start(std::max(0, StartLeadMs - frameMs));
    return true;
}

void ShowController::PlayTimerTimer() {
    send(SyncCommand::play());
}

std::optional<QList<QByteArray>> ShowController::joinCommands() const {
    if (!model_.master || !model_.lan || !player_.MediaOpen()) {
        return std::nullopt;
    }
    // Cued for a start that is armed, or between the announced start and "Play": the Master
    // sent its segment and place before the Slave was there, and the start would find the Slave
    // wherever it stands. Cued like the others, it starts with them.
    const bool playing = !starting() && model_.showStarted && player_.Running();
    if (!starting() && !playing) {
        return std::nullopt;
    }
    QList<QByteArray> commands{SyncCommand::clearList()};
    for (const QString& item : model_.syncPoints) {
        commands.append(SyncCommand::listItem(item.toLatin1()));
    }
    if (playing) {
        commands.append(SyncCommand::join(*model_.showStarted));
    } else {
        commands.append(StartPlaceCommands());
    }
    return commands;
}

void ShowController::commandStartAt(std::int64_t sharedTimeNs) {
    if (!actsOn(SyncCode::StartAt)) {
        return;
    }
    const SharedClockState clock = player_.SharedClock();
    if (!clock.shared) {
        qCInfo(lcSync) << "start at \"Play\": not on the shared clock yet";
        return;
    }
    // A time far from now is no start the Master announced (it leads by tens of ms): a screen
    // would freeze waiting for it, or race to catch up.
    if (sharedTimeNs < clock.nowNs - MaxStartSkewNs ||
        sharedTimeNs > clock.nowNs + MaxStartSkewNs) {
        qCWarning(lcSync) << "start at" << sharedTimeNs << "ns is" << ms(sharedTimeNs - clock.nowNs)
                          << "ms from now on the shared clock: starting at \"Play\"";
        renewSharedClock(QStringLiteral("a start announced %1 s from its now")
                             .arg(ms(sharedTimeNs - clock.nowNs) / 1000, 0, 'f', 3));
        return;
    }
    model_.startedOnSharedTime = PlayFromPlace(sharedTimeNs);
    if (model_.startedOnSharedTime) {
        qCInfo(lcSync) << "start at" << sharedTimeNs << "ns on the shared clock: in"
                       << ms(sharedTimeNs - clock.nowNs) << "ms";
        HintNextSegment();
    }
}

void ShowController::commandJoin(const JoinOrder& order) {
    if (!actsOn(SyncCode::Join)) {
        return;
    }
    model_.pendingJoin = order;
    model_.joinWaiting = true;
    TryJoin();
}

void ShowController::ForgetPendingClockWork(QByteArrayView command) {
    const QByteArrayView code = command.first(std::min<qsizetype>(command.size(), 4));
    if (code != QByteArrayView(SyncCode::ClearList) && code != QByteArrayView(SyncCode::ListItem) &&
        code != QByteArrayView(SyncCode::Join)) {
        model_.pendingJoin.reset();
        // Kept for the wrap that the "ReSt" makes.
        model_.joinWaiting = model_.joinWaiting && code == QByteArrayView(SyncCode::Restart);
    }
    if (code != QByteArrayView(SyncCode::Play) && code != QByteArrayView(SyncCode::StartAt)) {
        model_.startedOnSharedTime = false;
    }
}

void ShowController::TryJoin() {
    if (!model_.pendingJoin || !player_.MediaOpen()) {
        return;
    }
    const SharedClockState clock = player_.SharedClock();
    if (!clock.shared) {
        return;
    }
    const JoinOrder order = *std::exchange(model_.pendingJoin, std::nullopt);
    const QStringList& items = model_.syncPoints;
    const int index = effectiveSegmentIndex(items, order.segment);
    const std::optional<FrameRange> range =
        segmentRange(items, index, model_.inPoint, player_.DurationFrames());
    // A join far from the clock's now is the clock's fault, not the show's: it waits for a new
    // clock instead of holding a segment that seems over.
    const std::vector<std::optional<std::int32_t>> points = parseSyncPoints(items);
    const std::int64_t outFromIn =
        points.empty() || !points.back() ? player_.DurationFrames() : *points.back();
    if (joinDisagreesWithClock(order, clock.nowNs, player_.FrameDurationNs(), outFromIn,
                               MaxStartSkewNs)) {
        model_.pendingJoin = order;
        // From the wire: a difference of doubles cannot overflow.
        const double apartMs = ms(order.shownAtNs) - ms(clock.nowNs);
        qCWarning(lcSync) << "join: frame" << order.frameFromIn << "is shown" << apartMs
                          << "ms from now on the shared clock";
        renewSharedClock(
            QStringLiteral("a join announced %1 s from its now").arg(apartMs / 1000, 0, 'f', 3));
        return;
    }
    const std::optional<JoinCue> cue =
        joinCue(order, clock.nowNs, JoinLeadNs, player_.FrameDurationNs());
    const std::int64_t frame = cue ? frameFromOffset(model_.inPoint, cue->frameFromIn) : 0;
    // A Slave whose link came back while it played in step: a cue would freeze it for the lead
    // and start it behind.
    if (player_.Running() && index == model_.cuedSegment &&
        onShowFrame(order, clock.nowNs, player_.FrameDurationNs(),
                    offsetFromIn(player_.CurrentFrame(), model_.inPoint))) {
        model_.joinWaiting = false;
        qCInfo(lcSync) << "join: segment" << index << "plays on the Master's frame already;"
                       << "playing on";
        return;
    }
    if (!range || !cue || frame < range->start || frame >= range->stop) {
        qCInfo(lcSync)
            << "join: segment" << order.segment
            << "is over or cannot be placed; waiting for the next sync point or the loop's wrap";
        return;
    }
    model_.joinWaiting = false;
    SelectSyncPoint(index);
    model_.cuedSegment = index;
    // A file shorter than the Master's is not cued past its end, where it would show nothing and
    // complete at once: it holds its last frame there, as a cue of the segment does.
    const FittedRange fitted = fitToMedia(*range, player_.DurationFrames());
    ReportRangeFit(index, *range, fitted);
    const std::int64_t cued = std::min(frame, lastFrame(player_.DurationFrames()));
    player_.SetPlayRange(cued, fitted.range.stop);
    player_.PauseMedia();
    HintNextSegment();
    player_.PlayMediaAt(cue->nextShownAtNs);
    hooks_.StatusJoined(range->start, (cue->nextShownAtNs - clock.nowNs) / 1'000'000);
    qCInfo(lcSync) << "join: segment" << index << "cued at frame" << cued << "; frame" << cued + 1
                   << "at" << cue->nextShownAtNs << "ns on the shared clock, in"
                   << ms(cue->nextShownAtNs - clock.nowNs) << "ms";
}

void ShowController::JoinAtWrap() {
    const SharedClockState clock = player_.SharedClock();
    if (!clock.shared) {
        // Without the shared time the wrap's word is the start, as "Play" is.
        qCInfo(lcSync) << "join: the loop wrapped; starting the first segment now";
        PlayFromPlace();
        HintNextSegment();
        return;
    }
    model_.pendingJoin = JoinOrder{0, 0, clock.nowNs};
    model_.joinWaiting = true;
    TryJoin();
}

// Sync points and the sequencing of playback: segments, the Master's starts and sync points,
// seeking and frame stepping.
#include "app/show_controller.h"

#include "app/app_log.h"
#include "app/show_hooks.h"
#include "media/graph_player.h"
#include "storage/wording.h"
#include "widgets/dialog_service.h"

#include <QTimer>
#include <algorithm>

void ShowController::SelectSyncPoint(int row) {
    setSelection(row);
}

void ShowController::SelectSegment() {
    if (!player_.MediaOpen()) {
        return;
    }
    const QStringList& items = model_.syncPoints;
    const int index = effectiveSegmentIndex(items, model_.selection);
    const std::optional<FrameRange> range =
        segmentRange(items, index, model_.inPoint, player_.DurationFrames());
    if (!range) {
        qCWarning(lcSync) << "segment" << index << "names no Sync point of" << items.size()
                          << "; the range stays as it was";
        return;
    }
    if (index != model_.selection) {
        SelectSyncPoint(index);
    }
    const FittedRange fitted = fitToMedia(*range, player_.DurationFrames());
    ReportRangeFit(index, *range, fitted);
    model_.cuedSegment = index;
    model_.place = MediaPlace::InSegment;
    model_.wrappedToFirstSegment = false;
    qCInfo(lcSync) << "cued segment" << index << "frames" << fitted.range.start << "to"
                   << fitted.range.stop;
    player_.SetPlayRange(fitted.range.start, fitted.range.stop);
    HintNextSegment();
}

void ShowController::ReportRangeFit(int index, const FrameRange& range, const FittedRange& fitted) {
    if (fitted.startsPastEnd) {
        const std::int64_t last = lastFrame(player_.DurationFrames());
        ReportMediaMismatch([index, start = range.start, last](const Wording& say) {
            return say("TxT_SegmentPastEnd",
                       "segment %1 begins at frame %2, after the last frame %3 of the media: it "
                       "holds the last frame")
                .arg(index)
                .arg(start)
                .arg(last);
        });
    } else if (fitted.stopsPastEnd) {
        const std::int64_t end = player_.DurationFrames();
        ReportMediaMismatch([index, stop = range.stop, end](const Wording& say) {
            return say("TxT_SegmentStopsAtEnd",
                       "segment %1 ends at frame %2, after the end of the media at frame %3: it "
                       "stops there")
                .arg(index)
                .arg(stop)
                .arg(end);
        });
    }
}

void ShowController::ReportMediaMismatch(const WordedText& worded) {
    // Logged and compared in English, whatever the operator reads.
    const QString text = worded(Wording());
    if (model_.reportedMismatches.contains(text)) {
        return;
    }
    model_.reportedMismatches.insert(text);
    qCWarning(lcSync).noquote() << text;
    emit mediaMismatch(worded);
}

void ShowController::HintNextSegment() {
    // The Master goes on from its selection; a Slave goes where the Master's selection is, which
    // is the segment it cued on the Master's word.
    const int current = model_.master ? model_.selection : model_.cuedSegment;
    const std::optional<FrameRange> next = nextSegmentRange(
        model_.syncPoints, current, model_.loop, model_.inPoint, player_.DurationFrames());
    if (next) {
        const FrameRange fitted = fitToMedia(*next, player_.DurationFrames()).range;
        player_.SetNextRange(fitted.start, fitted.stop);
    } else {
        player_.ClearNextRange();
    }
}

void ShowController::ResetToFirstSegment() {
    SelectSyncPoint(model_.syncPoints.isEmpty() ? -1 : 0);
    SelectSegment();
}

void ShowController::rewindLocal() {
    ResetToFirstSegment();
    player_.PauseMedia();
    model_.place = MediaPlace::SegmentStart;
}

void ShowController::cue(std::int32_t n) {
    CueSegment(n, false);
}

void ShowController::CueSegment(std::int32_t n, bool autoStart, bool sendCue) {
    if (sendCue) {
        send(SyncCommand::cueSegment(n));
    }
    const auto count = static_cast<std::int32_t>(model_.syncPoints.size());
    if (n >= 0 && n < count) {
        SelectSyncPoint(n);
        SelectSegment();
    } else if (count == 0) {
        SelectSegment();
    } else {
        qCWarning(lcSync) << "segment" << n << "names no Sync point of" << count
                          << "; the range stays as it was";
    }
    player_.PauseMedia();
    model_.place = MediaPlace::SegmentStart;
    if (autoStart && model_.master) {
        ArmStart();
    }
}

void ShowController::segmentComplete() {
    model_.wrappedToFirstSegment = false;
    const int selection = model_.selection;
    if (selection >= model_.syncPoints.size() - 1) {
        EndOfList();
    } else if (model_.master) {
        CueSegment(selection + 1, true);
    }
}

void ShowController::EndOfList() {
    if (!model_.loop) {
        return;
    }
    // A loop with nothing to show would complete as soon as it restarts, over and over.
    const std::optional<FrameRange> first =
        firstSegmentRange(model_.syncPoints, model_.inPoint, player_.DurationFrames());
    if (first && fitToMedia(*first, player_.DurationFrames()).startsPastEnd) {
        const std::int64_t last = lastFrame(player_.DurationFrames());
        ReportMediaMismatch([start = first->start, last](const Wording& say) {
            return say("TxT_LoopPastEnd",
                       "the loop does not restart: its first segment begins at frame %1, after "
                       "the last frame %2 of the media")
                .arg(start)
                .arg(last);
        });
        return;
    }
    if (!listStartsAtInPoint(model_.syncPoints)) {
        // The media is still running: it plays on from the In point at once.
        ResetToFirstSegment();
        model_.wrappedToFirstSegment = true;
        model_.showStarted = JoinOrder{0, 0, player_.SharedClock().nowNs};
        hooks_.StatusLooped();
    } else if (model_.master) {
        CueSegment(0, true);
    }
    if (model_.master) {
        send(SyncCommand::restart());
    }
}

void ShowController::ArmStart() {
    emit startArmed();
    if (!timers_.start->isActive()) {
        timers_.start->start();
    }
}

void ShowController::StartTimerTimer() {
    // Stopped first: a file that cannot be opened shows a modal box inside PlayMedia, and the
    // timer must not fire again behind it.
    timers_.start->stop();
    if (!StartOnSharedTime()) {
        send(SyncCommand::play());
        PlayFromPlace();
    }
    HintNextSegment();
    hooks_.StatusSegmentStarted(std::nullopt);
}

void ShowController::SendSyncList() {
    hooks_.PreflightCheck();
    model_.reportedMismatches.clear();
    send(SyncCommand::clearList());
    for (const QString& item : model_.syncPoints) {
        send(SyncCommand::listItem(item.toLatin1()));
    }
}

void ShowController::SendPosition(std::int64_t frame) {
    if (player_.MediaOpen() && model_.master) {
        send(SyncCommand::position(offsetFromIn(frame, model_.inPoint)));
    }
}

void ShowController::SendStartPlace() {
    if (!player_.MediaOpen() || !model_.master) {
        return;
    }
    // Held there until the show starts, so that the place sent is still the place then (a
    // Start pressed while it runs would otherwise leave the Slaves a sync time behind).
    if (model_.place != MediaPlace::SegmentStart) {
        player_.PauseMedia();
    }
    for (const QByteArray& command : StartPlaceCommands()) {
        send(command);
    }
}

QList<QByteArray> ShowController::StartPlaceCommands() const {
    QList<QByteArray> commands{SyncCommand::cueSegment(std::max(model_.cuedSegment, 0))};
    if (model_.place == MediaPlace::SegmentStart) {
        return commands;
    }
    const std::int64_t offset = offsetFromIn(player_.CurrentFrame(), model_.inPoint);
    commands.append(SyncCommand::position(offset));
    if (model_.place == MediaPlace::InSegment) {
        // "Pos " takes an older Slave to the place with its range to the end of the media; this
        // gives a Slave that knows it the segment's end back.
        commands.append(SyncCommand::positionInSegment(offset));
    }
    return commands;
}

bool ShowController::PlayFromPlace(std::optional<std::int64_t> sharedTimeNs) {
    bool timed = false;
    if (sharedTimeNs) {
        timed = player_.PlayMediaAt(*sharedTimeNs);
    } else {
        player_.PlayMedia();
    }
    if (model_.place == MediaPlace::SegmentStart) {
        model_.place = MediaPlace::InSegment;
    }
    return timed;
}

std::optional<FrameRange> ShowController::CuedRange() const {
    if (!player_.MediaOpen()) {
        return std::nullopt;
    }
    const std::optional<FrameRange> range = segmentRange(model_.syncPoints, model_.cuedSegment,
                                                         model_.inPoint, player_.DurationFrames());
    if (!range) {
        return std::nullopt;
    }
    return fitToMedia(*range, player_.DurationFrames()).range;
}

bool ShowController::CuedSegmentPlayable() const {
    const std::optional<FrameRange> range = segmentRange(model_.syncPoints, model_.cuedSegment,
                                                         model_.inPoint, player_.DurationFrames());
    return range && !fitToMedia(*range, player_.DurationFrames()).startsPastEnd;
}

void ShowController::ReopenMedia() {
    player_.ReopenMedia();
    if (!player_.MediaOpen()) {
        return;
    }
    const int segment = model_.cuedSegment;
    if (segment >= 0 && segment < model_.syncPoints.size()) {
        CueSegment(segment, false, false);
    } else {
        rewindLocal();
    }
}

void ShowController::seekAndHold(std::int64_t frame) {
    player_.StopMedia();
    model_.place = MediaPlace::Anywhere;
    player_.SeekToFrame(frame);
    player_.PauseMedia();
    SendPosition(frame);
}

void ShowController::goToFrame(std::int64_t frame) {
    frame = clampFrame(frame, player_.DurationFrames());
    seekAndHold(frame);
    emit positioned(frame);
}

void ShowController::seekFromBar(std::int64_t frame) {
    seekAndHold(clampFrame(frame, player_.DurationFrames()));
}

void ShowController::stepFrames(std::int64_t count) {
    if (!player_.MediaOpen()) {
        return;
    }
    goToFrame(stepTarget(player_.CurrentFrame(), count, player_.DurationFrames()));
}

void ShowController::start() {
    if (!model_.master) {
        PlayFromPlace();
        HintNextSegment();
        return;
    }
    stopTestMode();
    SendSyncList();
    if (!player_.MediaOpen()) {
        player_.OpenMedia();
    }
    SendStartPlace();
    const bool fullScreen = !player_.FullScreenActive() && model_.fullScreenWanted;
    if (fullScreen) {
        fullScreenOnPlay();
    }
    // The Slaves that were sent a place need the sync time to get there, as at a sync point.
    if (fullScreen || player_.MediaOpen()) {
        ArmStart();
    } else {
        StartTimerTimer();
    }
}

void ShowController::autoStart() {
    stopTestMode();
    SendSyncList();
    SendStartPlace();
    fullScreenOnPlay();
    ArmStart();
}

void ShowController::stopLocal() {
    player_.StopMedia();
    timers_.start->stop();
    timers_.play->stop();
    stopTestMode();
}

void ShowController::stop() {
    if (!model_.master) {
        player_.StopMedia();
        return;
    }
    send(SyncCommand::stop());
    stopLocal();
}

void ShowController::rewind() {
    if (model_.master) {
        send(SyncCommand::rewind());
        stopTestMode();
    }
    rewindLocal();
}

void ShowController::addSyncPoint(const QString& frameText) {
    const std::optional<std::int32_t> value = relativeToIn(frameText, model_.inPoint);
    const std::optional<int> row =
        value ? syncPointInsertRow(model_.syncPoints, model_.selection, *value) : std::nullopt;
    if (!row) {
        hooks_.ShowMessageByKey(QStringLiteral("ErrMsg_SetSyncPoint"),
                                QStringLiteral("ErrTitel_SetSyncPoint"),
                                MessageBoxFlags::IconError);
        return;
    }
    QStringList items = model_.syncPoints;
    items.insert(*row, QString::number(*value));
    setSyncPoints(items);
    SelectSyncPoint(*row);
    HintNextSegment();
}

void ShowController::setInFromText(const QString& frameText) {
    if (hooks_.ShowMessageByKey(
            QStringLiteral("Msg_SetInPoint"), QStringLiteral("MsgTitel_SetInPoint"),
            MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion) != MessageBoxResult::Yes) {
        return;
    }
    bool number = false;
    const int frame = frameText.trimmed().toInt(&number);
    if (number) {
        setInPoint(frame);
    }
}

void ShowController::goToSelection() {
    const int selection = model_.selection;
    if (selection < 0) {
        return;
    }
    const auto points = parseSyncPoints(model_.syncPoints);
    if (const std::optional<std::int32_t> point = points[static_cast<std::size_t>(selection)]) {
        goToFrame(addFrames(*point, model_.inPoint));
    }
}

void ShowController::deleteSyncPoint() {
    const int selection = model_.selection;
    if (selection < 0) {
        return;
    }
    QStringList items = model_.syncPoints;
    items.removeAt(selection);
    SelectSyncPoint(-1);
    setSyncPoints(items);
    HintNextSegment();
}

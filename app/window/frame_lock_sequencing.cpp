// Sync points and the sequencing of playback: segments, the Master's starts and sync points,
// seeking, frame stepping, test mode and the current-frame display.
#include "app/window/frame_lock.h"

#include "app/app_log.h"
#include "app/segment_math.h"
#include "media/graph_player.h"
#include "storage/kt_language.h"
#include "storage/wording.h"
#include "ui_fFrameLock.h"
#include "widgets/dialog_service.h"

#include <QTimer>
#include <memory>

void TfFrameLock::SelectSyncPoint(int row) {
    if (row < 0) {
        ui->lbCut->clearSelection();
    }
    ui->lbCut->setCurrentRow(row);
}

std::int32_t TfFrameLock::InPoint() const {
    return ui->eIn->Value();
}

QStringList TfFrameLock::SyncPoints() const {
    return ui->lbCut->Items();
}

void TfFrameLock::SelectSegment() {
    if (!player_->MediaOpen()) {
        return;
    }
    const QStringList items = SyncPoints();
    const int index = effectiveSegmentIndex(items, ui->lbCut->currentRow());
    const std::optional<FrameRange> range =
        segmentRange(items, index, InPoint(), player_->DurationFrames());
    if (!range) {
        qCWarning(lcSync) << "segment" << index << "names no Sync point of" << items.size()
                          << "; the range stays as it was";
        return;
    }
    if (index != ui->lbCut->currentRow()) {
        SelectSyncPoint(index);
    }
    const FittedRange fitted = fitToMedia(*range, player_->DurationFrames());
    ReportRangeFit(index, *range, fitted);
    CuedSegment = index;
    MediaPlace = Place::InSegment;
    WrappedToFirstSegment = false;
    qCInfo(lcSync) << "cued segment" << index << "frames" << fitted.range.start << "to"
                   << fitted.range.stop;
    player_->SetPlayRange(fitted.range.start, fitted.range.stop);
    HintNextSegment();
}

void TfFrameLock::ReportRangeFit(int index, const FrameRange& range, const FittedRange& fitted) {
    if (fitted.startsPastEnd) {
        const std::int64_t last = lastFrame(player_->DurationFrames());
        ReportMediaMismatch([index, start = range.start, last](const Wording& say) {
            return say("TxT_SegmentPastEnd",
                       "segment %1 begins at frame %2, after the last frame %3 of the media: it "
                       "holds the last frame")
                .arg(index)
                .arg(start)
                .arg(last);
        });
    } else if (fitted.stopsPastEnd) {
        const std::int64_t end = player_->DurationFrames();
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

void TfFrameLock::ReportMediaMismatch(const std::function<QString(const Wording&)>& worded) {
    // Logged and compared in English, whatever the operator reads.
    const QString text = worded(Wording());
    if (ReportedMismatches.contains(text)) {
        return;
    }
    ReportedMismatches.insert(text);
    qCWarning(lcSync).noquote() << text;
    ShowStatus(ShownStatusBox(), worded);
}

void TfFrameLock::HintNextSegment() {
    // The Master goes on from its selection; a Slave goes where the Master's selection is, which
    // is the segment it cued on the Master's word.
    const int current = IsMaster() ? ui->lbCut->currentRow() : CuedSegment;
    const std::optional<FrameRange> next = nextSegmentRange(
        SyncPoints(), current, ui->cbRepeat->isChecked(), InPoint(), player_->DurationFrames());
    if (next) {
        const FrameRange fitted = fitToMedia(*next, player_->DurationFrames()).range;
        player_->SetNextRange(fitted.start, fitted.stop);
    } else {
        player_->ClearNextRange();
    }
}

void TfFrameLock::ResetToFirstSegment() {
    SelectSyncPoint(ui->lbCut->count() > 0 ? 0 : -1);
    SelectSegment();
}

void TfFrameLock::RewindLocal() {
    ResetToFirstSegment();
    player_->PauseMedia();
    MediaPlace = Place::SegmentStart;
}

void TfFrameLock::CueSegment(std::int32_t n, bool autoStart) {
    SendCommand(SyncCommand::cueSegment(n));
    if (n >= 0 && n < ui->lbCut->count()) {
        SelectSyncPoint(n);
        SelectSegment();
    } else if (ui->lbCut->count() == 0) {
        SelectSegment();
    } else {
        qCWarning(lcSync) << "segment" << n << "names no Sync point of" << ui->lbCut->count()
                          << "; the range stays as it was";
    }
    player_->PauseMedia();
    MediaPlace = Place::SegmentStart;
    if (autoStart && IsMaster()) {
        ArmStart();
    }
}

void TfFrameLock::SegmentComplete() {
    WrappedToFirstSegment = false;
    const int selection = ui->lbCut->currentRow();
    if (selection >= ui->lbCut->count() - 1) {
        EndOfList();
    } else if (IsMaster()) {
        CueSegment(selection + 1, true);
    }
}

void TfFrameLock::EndOfList() {
    if (!ui->cbRepeat->isChecked()) {
        return;
    }
    // A loop with nothing to show would complete as soon as it restarts, over and over.
    const std::optional<FrameRange> first =
        firstSegmentRange(SyncPoints(), InPoint(), player_->DurationFrames());
    if (first && fitToMedia(*first, player_->DurationFrames()).startsPastEnd) {
        const std::int64_t last = lastFrame(player_->DurationFrames());
        ReportMediaMismatch([start = first->start, last](const Wording& say) {
            return say("TxT_LoopPastEnd",
                       "the loop does not restart: its first segment begins at frame %1, after "
                       "the last frame %2 of the media")
                .arg(start)
                .arg(last);
        });
        return;
    }
    if (!listStartsAtInPoint(SyncPoints())) {
        // The media is still running: it plays on from the In point at once.
        ResetToFirstSegment();
        WrappedToFirstSegment = true;
        ShowStarted = JoinOrder{0, 0, player_->SharedClock().nowNs};
        StatusLooped();
    } else if (IsMaster()) {
        CueSegment(0, true);
    }
    if (IsMaster()) {
        SendCommand(SyncCommand::restart());
    }
}

void TfFrameLock::ArmStart() {
    FlashLed(ui->syncLed);
    if (!StartTimer->isActive()) {
        StartTimer->start();
    }
}

void TfFrameLock::StartTimerTimer() {
    // Stopped first: a file that cannot be opened shows a modal box inside PlayMedia, and the
    // timer must not fire again behind it.
    StartTimer->stop();
    if (!StartOnSharedTime()) {
        SendCommand(SyncCommand::play());
        PlayFromPlace();
    }
    HintNextSegment();
    StatusSegmentStarted();
}

void TfFrameLock::SendSyncList() {
    PreflightCheck();
    ReportedMismatches.clear();
    SendCommand(SyncCommand::clearList());
    for (const QString& item : SyncPoints()) {
        SendCommand(SyncCommand::listItem(item.toLatin1()));
    }
}

void TfFrameLock::SendPosition(std::int64_t frame) {
    if (player_->MediaOpen() && IsMaster()) {
        SendCommand(SyncCommand::position(offsetFromIn(frame, InPoint())));
    }
}

void TfFrameLock::SendStartPlace() {
    if (!player_->MediaOpen() || !IsMaster()) {
        return;
    }
    // Held there until the show starts, so that the place sent is still the place then (a
    // Start pressed while it runs would otherwise leave the Slaves a sync time behind).
    if (MediaPlace != Place::SegmentStart) {
        player_->PauseMedia();
    }
    for (const QByteArray& command : StartPlaceCommands()) {
        SendCommand(command);
    }
}

QList<QByteArray> TfFrameLock::StartPlaceCommands() {
    QList<QByteArray> commands{SyncCommand::cueSegment(std::max(CuedSegment, 0))};
    if (MediaPlace == Place::SegmentStart) {
        return commands;
    }
    const std::int64_t offset = offsetFromIn(player_->CurrentFrame(), InPoint());
    commands.append(SyncCommand::position(offset));
    if (MediaPlace == Place::InSegment) {
        // "Pos " takes an older Slave to the place with its range to the end of the media; this
        // gives a Slave that knows it the segment's end back.
        commands.append(SyncCommand::positionInSegment(offset));
    }
    return commands;
}

bool TfFrameLock::PlayFromPlace(std::optional<std::int64_t> sharedTimeNs) {
    bool timed = false;
    if (sharedTimeNs) {
        timed = player_->PlayMediaAt(*sharedTimeNs);
    } else {
        player_->PlayMedia();
    }
    if (MediaPlace == Place::SegmentStart) {
        MediaPlace = Place::InSegment;
    }
    return timed;
}

std::optional<FrameRange> TfFrameLock::CuedRange() const {
    if (!player_->MediaOpen()) {
        return std::nullopt;
    }
    const std::optional<FrameRange> range =
        segmentRange(SyncPoints(), CuedSegment, InPoint(), player_->DurationFrames());
    if (!range) {
        return std::nullopt;
    }
    return fitToMedia(*range, player_->DurationFrames()).range;
}

void TfFrameLock::GoToFrame(std::int64_t frame) {
    player_->StopMedia();
    MediaPlace = Place::Anywhere;
    frame = clampFrame(frame, player_->DurationFrames());
    player_->SeekToFrame(frame);
    player_->PauseMedia();
    SendPosition(frame);
    ui->seAktFrame->setText(QString::number(frame));
    FrameBoxEdited = false;
    if (player_->DurationFrames() > 0) {
        UpdatingPositionBar = true;
        ui->tbPosition->setValue(positionBarValue(frame, player_->DurationFrames()));
        UpdatingPositionBar = false;
    }
}

void TfFrameLock::StepFrames(std::int64_t count) {
    if (!player_->MediaOpen()) {
        return;
    }
    GoToFrame(stepTarget(player_->CurrentFrame(), count, player_->DurationFrames()));
}

void TfFrameLock::tbPositionChange() {
    if (UpdatingPositionBar) {
        return;
    }
    player_->StopMedia();
    MediaPlace = Place::Anywhere;
    const std::int64_t frame =
        clampFrame(frameOfPositionBar(ui->tbPosition->value(), player_->DurationFrames()),
                   player_->DurationFrames());
    ui->seAktFrame->setText(QString::number(frame));
    FrameBoxEdited = false;
    player_->SeekToFrame(frame);
    player_->PauseMedia();
    SendPosition(frame);
}

void TfFrameLock::seAktFramektOnNewValue() {
    GoToFrame(ui->seAktFrame->Value());
    FrameBoxEdited = false;
}

void TfFrameLock::seAktFrameChange() {
    FrameBoxEdited = true;
}

void TfFrameLock::seAktFrameExit() {
    FrameBoxEdited = false;
}

void TfFrameLock::StatusTimerTimer() {
    if (player_->MediaOpen() && !FrameBoxEdited) {
        ui->seAktFrame->setText(QString::number(player_->CurrentFrame()));
        FrameBoxEdited = false;
    }
}

void TfFrameLock::bPlayClick() {
    if (!IsMaster()) {
        PlayFromPlace();
        HintNextSegment();
        return;
    }
    StopTestMode();
    SendSyncList();
    if (!player_->MediaOpen()) {
        player_->OpenMedia();
    }
    SendStartPlace();
    const bool fullScreen = !player_->FullScreenActive() && ui->cbFullscreen->isChecked();
    if (fullScreen) {
        FullScreenOnPlay();
    }
    // The Slaves that were sent a place need the sync time to get there, as at a sync point.
    if (fullScreen || player_->MediaOpen()) {
        ArmStart();
    } else {
        StartTimerTimer();
    }
}

void TfFrameLock::bStopClick() {
    if (!IsMaster()) {
        player_->StopMedia();
        return;
    }
    SendCommand(SyncCommand::stop());
    player_->StopMedia();
    StartTimer->stop();
    PlayTimer->stop();
    StopTestMode();
}

void TfFrameLock::bRewindClick() {
    if (IsMaster()) {
        SendCommand(SyncCommand::rewind());
        StopTestMode();
    }
    RewindLocal();
}

void TfFrameLock::bSetClick() {
    const QStringList items = SyncPoints();
    const std::optional<std::int32_t> value = relativeToIn(ui->seAktFrame->text(), InPoint());
    const std::optional<int> row =
        value ? syncPointInsertRow(items, ui->lbCut->currentRow(), *value) : std::nullopt;
    if (!row) {
        lang->ShowMessageByKey(QStringLiteral("ErrMsg_SetSyncPoint"),
                               QStringLiteral("ErrTitel_SetSyncPoint"), MessageBoxFlags::IconError);
        return;
    }
    ui->lbCut->insertItem(*row, QString::number(*value));
    SelectSyncPoint(*row);
    HintNextSegment();
}

void TfFrameLock::bSetInClick() {
    if (lang->ShowMessageByKey(
            QStringLiteral("Msg_SetInPoint"), QStringLiteral("MsgTitel_SetInPoint"),
            MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion) == MessageBoxResult::Yes) {
        ui->eIn->setText(ui->seAktFrame->text());
    }
}

void TfFrameLock::bGoClick() {
    const int selection = ui->lbCut->currentRow();
    if (selection < 0) {
        return;
    }
    const auto points = parseSyncPoints(SyncPoints());
    if (const std::optional<std::int32_t> point = points[static_cast<std::size_t>(selection)]) {
        GoToFrame(addFrames(*point, InPoint()));
    }
}

void TfFrameLock::bDeleteClick() {
    const int selection = ui->lbCut->currentRow();
    if (selection < 0) {
        return;
    }
    const std::unique_ptr<QListWidgetItem> item(ui->lbCut->takeItem(selection));
    SelectSyncPoint(-1);
    HintNextSegment();
}

void TfFrameLock::lbCutDblClick() {
    const int selection = ui->lbCut->currentRow();
    if (selection >= 0) {
        CueSegment(selection, false);
    }
}

void TfFrameLock::gbSyncClick() {
    SelectSyncPoint(-1);
}

void TfFrameLock::tbSyncChange() {
    StartTimer->setInterval(ui->tbSync->value());
}

void TfFrameLock::cbTestClick() {
    if (ui->cbTest->isChecked()) {
        TestTimer->start();
    } else {
        TestTimer->stop();
    }
}

void TfFrameLock::TestTimerTimer() {
    if (IsMaster()) {
        StepFrames(1);
    } else {
        StopTestMode();
    }
}

void TfFrameLock::StopTestMode() {
    TestTimer->stop();
    ui->cbTest->setChecked(false);
}

// The Sync point and playback controls: each is a call into the show's controller; the frame
// box and the position bar are the window's own.
#include "app/window/frame_lock.h"

#include "app/segment_math.h"
#include "app/show_controller.h"
#include "media/graph_player.h"
#include "ui_fFrameLock.h"

void TfFrameLock::SelectSyncPoint(int row) {
    if (row < 0) {
        ui->lbCut->clearSelection();
    }
    ui->lbCut->setCurrentRow(row);
}

std::int32_t TfFrameLock::InPoint() const {
    return show_->model().inPoint;
}

QStringList TfFrameLock::SyncPoints() const {
    return show_->model().syncPoints;
}

void TfFrameLock::StartTimerTimer() {
    show_->StartTimerTimer();
}

void TfFrameLock::tbPositionChange() {
    if (UpdatingPositionBar) {
        return;
    }
    const std::int64_t frame =
        clampFrame(frameOfPositionBar(ui->tbPosition->value(), player_->DurationFrames()),
                   player_->DurationFrames());
    ui->seAktFrame->setText(QString::number(frame));
    FrameBoxEdited = false;
    show_->seekFromBar(frame);
}

void TfFrameLock::seAktFramektOnNewValue() {
    show_->goToFrame(ui->seAktFrame->Value());
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
    operators_.run(QStringLiteral("start"));
}

void TfFrameLock::bStopClick() {
    operators_.run(QStringLiteral("stop"));
}

void TfFrameLock::bRewindClick() {
    operators_.run(QStringLiteral("rewind"));
}

void TfFrameLock::bSetClick() {
    operators_.run(QStringLiteral("addSyncPoint"));
}

void TfFrameLock::bSetInClick() {
    operators_.run(QStringLiteral("setIn"));
}

void TfFrameLock::bGoClick() {
    show_->goToSelection();
}

void TfFrameLock::bDeleteClick() {
    operators_.run(QStringLiteral("deleteSyncPoint"));
}

void TfFrameLock::lbCutDblClick() {
    const int selection = ui->lbCut->currentRow();
    if (selection >= 0) {
        operators_.run(QStringLiteral("cue"), selection + 1);
    }
}

void TfFrameLock::gbSyncClick() {
    show_->setSelection(-1);
}

void TfFrameLock::tbSyncChange() {
    show_->setSyncTime(ui->tbSync->value());
}

void TfFrameLock::cbTestClick() {
    show_->setTestMode(ui->cbTest->isChecked());
}

void TfFrameLock::TestTimerTimer() {
    show_->TestTimerTimer();
}

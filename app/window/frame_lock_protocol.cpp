// The Sync command protocol: sending on the active link and what a received command does.
#include "app/monotonic_time.h"
#include "app/window/frame_lock.h"

#include "app/segment_math.h"
#include "app/status_frame.h"
#include "app/sync_link.h"
#include "media/graph_player.h"
#include "ui_fFrameLock.h"
#include "widgets/gui/splash_window.h"

#include "app/app_log.h"

#include <QTimer>
#include <algorithm>
#include <chrono>

void TfFrameLock::SendCommand(const QByteArray& command) {
    if (!Closing && link_ != nullptr) {
        link_->send(command);
    }
}

void TfFrameLock::DispatchCommand(const QByteArray& command) {
    // Slaves' reports are read per connection; here they would close the Master's splash.
    if (isStatusCommand(command)) {
        return;
    }
    if (SplashShowing && Splash) {
        Splash->close();
    }
    ForgetPendingClockWork(command);
    if (!dispatchSyncCommand(command, *this)) {
        NoteRejected(RejectedCommands::Reason::Unknown, command);
    }
    StatusAfterCommand(command);
}

void TfFrameLock::commandAccepted(QByteArrayView command) {
    qCInfo(lcSync).noquote() << "received" << command.toByteArray();
}

void TfFrameLock::NoteRejected(RejectedCommands::Reason reason, QByteArrayView command) {
    LogRejected(rejected_.note(reason, command, monotonicMs()));
    ArmRejectedFlush();
}

void TfFrameLock::ArmRejectedFlush() {
    const std::optional<std::int64_t> due = rejected_.flushDue();
    if (!due || RejectedFlushArmed) {
        return;
    }
    RejectedFlushArmed = true;
    const auto wait = std::chrono::milliseconds(std::max<std::int64_t>(*due - monotonicMs(), 0));
    QTimer::singleShot(wait, this, [this] {
        RejectedFlushArmed = false;
        LogRejected(rejected_.flush(monotonicMs()));
        ArmRejectedFlush();
    });
}

void TfFrameLock::LogRejected(const QStringList& lines) {
    for (const QString& line : lines) {
        if (rejected_.refusedInLastLines()) {
            qCWarning(lcSync).noquote() << line;
        } else {
            qCInfo(lcSync).noquote() << line;
        }
    }
}

void TfFrameLock::commandPlay() {
    if (std::exchange(StartedOnSharedTime, false)) {
        return;
    }
    PlayFromPlace();
}

void TfFrameLock::commandStop() {
    player_->StopMedia();
}

void TfFrameLock::commandRewind() {
    RewindLocal();
}

void TfFrameLock::commandRestart() {
    const bool joining = std::exchange(JoinWaiting, false);
    if (WrappedToFirstSegment) {
        // It wrapped at its own Out point and plays the first segment already: a seek now
        // would pull it back by however long the command took to come.
        WrappedToFirstSegment = false;
        SelectSyncPoint(ui->lbCut->count() > 0 ? 0 : -1);
        return;
    }
    ResetToFirstSegment();
    StatusRestarted();
    if (joining && !listStartsAtInPoint(SyncPoints())) {
        JoinAtWrap();
    }
}

void TfFrameLock::commandFullScreenSetting(bool on) {
    ui->cbFullscreen->setChecked(on);
}

void TfFrameLock::commandFullScreen(bool on) {
    player_->SetFullScreen(on);
}

void TfFrameLock::commandLanguage(int index) {
    // Pressed without its click handler, so nothing is sent on.
    (index == 0 ? ui->sbUSA : ui->sbGerman)->setChecked(true);
    SetLanguage(index);
}

void TfFrameLock::commandLoop(bool on) {
    ui->cbRepeat->setChecked(on);
}

void TfFrameLock::commandPosition(std::int64_t offsetFromIn) {
    player_->StopMedia();
    MediaPlace = Place::Anywhere;
    WrappedToFirstSegment = false;
    // A Master whose media is longer must not seek this one past its end, where it would show
    // nothing and complete at once.
    player_->SeekToFrame(
        clampFrame(frameFromOffset(InPoint(), offsetFromIn), player_->DurationFrames()));
    player_->PauseMedia();
}

void TfFrameLock::commandPositionInSegment(std::int64_t offsetFromIn) {
    const std::optional<FrameRange> range = CuedRange();
    const std::int64_t frame =
        clampFrame(frameFromOffset(InPoint(), offsetFromIn), player_->DurationFrames());
    if (!range || frame < range->start || frame > range->stop) {
        commandPosition(offsetFromIn);
        return;
    }
    player_->StopMedia();
    WrappedToFirstSegment = false;
    player_->SetPlayRange(frame, range->stop);
    player_->PauseMedia();
    MediaPlace = Place::InSegment;
}

void TfFrameLock::commandClearList() {
    ReportedMismatches.clear();
    ui->lbCut->clear();
    HintNextSegment();
}

void TfFrameLock::commandListItem(std::int32_t syncPoint) {
    ui->lbCut->addItem(QString::number(syncPoint));
    HintNextSegment();
}

void TfFrameLock::commandCueSegment(std::int32_t index) {
    CueSegment(index, false);
}

void TfFrameLock::commandRefused(QByteArrayView command) {
    NoteRejected(RejectedCommands::Reason::Refused, command);
}

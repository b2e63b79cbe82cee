// Received commands: what each does, and what a Master passes on to its Slaves.
#include "app/show_controller.h"

#include "app/app_log.h"
#include "app/monotonic_time.h"
#include "app/relay_policy.h"
#include "app/show_hooks.h"
#include "app/status_frame.h"
#include "media/graph_player.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <utility>

void ShowController::DispatchCommand(const QByteArray& command) {
    // Slaves' reports are read per connection; here they would close the Master's splash.
    if (isStatusCommand(command)) {
        return;
    }
    hooks_.CommandArrived();
    ForgetPendingClockWork(command);
    if (!dispatchSyncCommand(command, *this)) {
        NoteRejected(RejectedCommands::Reason::Unknown, command);
    }
    hooks_.StatusAfterCommand(command);
}

bool ShowController::actsOn(const char* code) const {
    return !model_.master || masterRelay(QByteArrayView(code)).acts;
}

void ShowController::commandAccepted(QByteArrayView command) {
    qCInfo(lcSync).noquote() << "received" << command.toByteArray();
    // On down to the Slaves before the Master acts, as the serial chain passes on what it reads.
    if (model_.master && masterRelay(command).relays) {
        send(command.toByteArray());
    }
}

void ShowController::NoteRejected(RejectedCommands::Reason reason, QByteArrayView command) {
    LogRejected(rejected_.note(reason, command, monotonicMs()));
    ArmRejectedFlush();
}

void ShowController::ArmRejectedFlush() {
    const std::optional<std::int64_t> due = rejected_.flushDue();
    if (!due || rejectedFlushArmed_) {
        return;
    }
    rejectedFlushArmed_ = true;
    const auto wait = std::chrono::milliseconds(std::max<std::int64_t>(*due - monotonicMs(), 0));
    QTimer::singleShot(wait, this, [this] {
        rejectedFlushArmed_ = false;
        LogRejected(rejected_.flush(monotonicMs()));
        ArmRejectedFlush();
    });
}

void ShowController::LogRejected(const QStringList& lines) {
    for (const QString& line : lines) {
        if (rejected_.refusedInLastLines()) {
            qCWarning(lcSync).noquote() << line;
        } else {
            qCInfo(lcSync).noquote() << line;
        }
    }
}

void ShowController::commandRefused(QByteArrayView command) {
    NoteRejected(RejectedCommands::Reason::Refused, command);
}

void ShowController::commandPlay() {
    if (std::exchange(model_.startedOnSharedTime, false)) {
        return;
    }
    PlayFromPlace();
}

void ShowController::commandStop() {
    // A Master's Stop stops the start it has armed too, or the show would start again.
    if (model_.master) {
        stopLocal();
    } else {
        player_.StopMedia();
    }
}

void ShowController::commandRewind() {
    rewindLocal();
}

void ShowController::commandRestart() {
    const bool joining = std::exchange(model_.joinWaiting, false);
    if (model_.wrappedToFirstSegment) {
        // It wrapped at its own Out point and plays the first segment already: a seek now
        // would pull it back by however long the command took to come.
        model_.wrappedToFirstSegment = false;
        SelectSyncPoint(model_.syncPoints.isEmpty() ? -1 : 0);
        return;
    }
    ResetToFirstSegment();
    hooks_.StatusRestarted();
    if (joining && !listStartsAtInPoint(model_.syncPoints)) {
        JoinAtWrap();
    }
}

void ShowController::commandFullScreenSetting(bool on) {
    if (on != model_.fullScreenWanted) {
        model_.fullScreenWanted = on;
        emit fullScreenWantedChanged(on);
    }
}

void ShowController::commandFullScreen(bool on) {
    player_.SetFullScreen(on);
}

void ShowController::commandLanguage(int index) {
    hooks_.SetLanguage(index);
}

void ShowController::commandLoop(bool on) {
    if (on != model_.loop) {
        model_.loop = on;
        emit loopChanged(on);
        HintNextSegment();
    }
}

void ShowController::commandPosition(std::int64_t offsetFromIn) {
    player_.StopMedia();
    model_.place = MediaPlace::Anywhere;
    model_.wrappedToFirstSegment = false;
    // A Master whose media is longer must not seek this one past its end, where it would show
    // nothing and complete at once.
    player_.SeekToFrame(
        clampFrame(frameFromOffset(model_.inPoint, offsetFromIn), player_.DurationFrames()));
    player_.PauseMedia();
}

void ShowController::commandPositionInSegment(std::int64_t offsetFromIn) {
    const std::optional<FrameRange> range = CuedRange();
    const std::int64_t frame =
        clampFrame(frameFromOffset(model_.inPoint, offsetFromIn), player_.DurationFrames());
    if (!range || frame < range->start || frame > range->stop) {
        commandPosition(offsetFromIn);
        return;
    }
    player_.StopMedia();
    model_.wrappedToFirstSegment = false;
    player_.SetPlayRange(frame, range->stop);
    player_.PauseMedia();
    model_.place = MediaPlace::InSegment;
}

void ShowController::commandClearList() {
    model_.reportedMismatches.clear();
    setSyncPoints({});
    HintNextSegment();
}

void ShowController::commandListItem(std::int32_t syncPoint) {
    setSyncPoints(model_.syncPoints + QStringList{QString::number(syncPoint)});
    HintNextSegment();
}

void ShowController::commandCueSegment(std::int32_t index) {
    // The cue was passed on as it came.
    CueSegment(index, false, false);
}

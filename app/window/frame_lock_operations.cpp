// The operator's operations by name: the keys, buttons and menus of the window run them, and so
// does every remote surface. Each says when it is allowed (as the window's controls are: the
// lock disables the show's settings, the Master alone goes through its list) and runs the show's
// controller.
#include "app/window/frame_lock.h"

#include "app/segment_math.h"
#include "app/show_controller.h"
#include "media/graph_player.h"
#include "ui_fFrameLock.h"

void TfFrameLock::RegisterOperations() {
    const auto unlocked = [this] { return !ui->cbLock->isChecked(); };
    const auto master = [this] { return IsMaster(); };
    const auto masterUnlocked = [this] { return IsMaster() && !ui->cbLock->isChecked(); };
    using Arg = OperatorArgument;
    operators_.add(
        {QStringLiteral("start"), Arg::None, {}, [this](std::int64_t) { show_->start(); }});
    operators_.add(
        {QStringLiteral("stop"), Arg::None, {}, [this](std::int64_t) { show_->stop(); }});
    operators_.add(
        {QStringLiteral("rewind"), Arg::None, {}, [this](std::int64_t) { show_->rewind(); }});
    operators_.add({QStringLiteral("cue"), Arg::Segment, master, [this](std::int64_t segment) {
                        if (segment <= SyncPoints().size()) {
                            show_->cue(static_cast<std::int32_t>(segment - 1));
                        }
                    }});
    operators_.add({QStringLiteral("goto"), Arg::Frame, {}, [this](std::int64_t frame) {
                        show_->goToFrame(addFrames(frame, InPoint()));
                    }});
    operators_.add({QStringLiteral("step"), Arg::Steps, {}, [this](std::int64_t count) {
                        show_->stepFrames(count);
                    }});
    operators_.add({QStringLiteral("setIn"), Arg::None, unlocked,
                    [this](std::int64_t) { show_->setInFromText(ui->seAktFrame->text()); }});
    operators_.add({QStringLiteral("addSyncPoint"), Arg::None, unlocked,
                    [this](std::int64_t) { show_->addSyncPoint(ui->seAktFrame->text()); }});
    operators_.add({QStringLiteral("deleteSyncPoint"), Arg::None, masterUnlocked,
                    [this](std::int64_t) { show_->deleteSyncPoint(); }});
    operators_.add({QStringLiteral("fullscreen"), Arg::OnOff, {}, [this](std::int64_t on) {
                        if ((on != 0) != player_->FullScreenActive()) {
                            show_->toggleFullScreen();
                        }
                    }});
    // The settings' own controls follow, so that the stored file says what the show does.
    operators_.add({QStringLiteral("loop"), Arg::OnOff, unlocked,
                    [this](std::int64_t on) { ui->cbRepeat->setChecked(on != 0); }});
    operators_.add(
        {QStringLiteral("language"), Arg::Language, unlocked, [this](std::int64_t index) {
             (index == 0 ? ui->sbUSA : ui->sbGerman)->setChecked(true);
             sbUSAClick();
         }});
    operators_.add({QStringLiteral("lock"), Arg::OnOff, {}, [this](std::int64_t on) {
                        UnlockKeyPressed = on == 0;
                        ui->cbLock->setChecked(on != 0);
                    }});
}

// The window's part in the show: it makes the controller, answers its hooks, and keeps the
// controls (the settings' view of the show) and the controller's model in step both ways.
#include "app/window/frame_lock.h"

#include "app/master_status_keeper.h"
#include "app/segment_math.h"
#include "app/show_controller.h"
#include "app/show_hooks.h"
#include "app/slave_show_reporter.h"
#include "media/graph_player.h"
#include "storage/kt_language.h"
#include "ui_fFrameLock.h"
#include "widgets/gui/splash_window.h"

#include <QScopedValueRollback>
#include <QTimer>

class FrameLockShowHooks final : public ShowHooks {
public:
    explicit FrameLockShowHooks(TfFrameLock& window) : w_(window) {}

    void StatusAfterCommand(const QByteArray& command) override {
        w_.slaveReporter_->afterCommand(command);
    }
    void StatusSegmentStarted(std::optional<std::int64_t> startFrameInFile) override {
        w_.statusKeeper_->segmentStarted(startFrameInFile);
    }
    void StatusLooped() override { w_.StatusLooped(); }
    void StatusRestarted() override { w_.slaveReporter_->restarted(); }
    void StatusJoined(std::int64_t segmentStartInFile, std::int64_t startsInMs) override {
        w_.slaveReporter_->joined(segmentStartInFile, startsInMs);
    }
    void PreflightCheck() override { w_.PreflightCheck(); }
    bool SetLanguage(int index) override {
        // Pressed without its click handler, so nothing is sent on from there.
        (index == 0 ? w_.ui->sbUSA : w_.ui->sbGerman)->setChecked(true);
        return w_.SetLanguage(index);
    }
    int ShowMessageByKey(const QString& messageKey, const QString& titleKey, int flags) override {
        return w_.lang->ShowMessageByKey(messageKey, titleKey, flags);
    }
    void CommandArrived() override {
        if (w_.SplashShowing && w_.Splash) {
            w_.Splash->close();
        }
    }

private:
    TfFrameLock& w_;
};

void TfFrameLock::createShow() {
    showHooks_ = std::make_unique<FrameLockShowHooks>(*this);
    show_ = new ShowController(
        *player_, *showHooks_, [this](const QByteArray& command) { SendCommand(command); },
        ShowTimers{StartTimer, PlayTimer, TestTimer, ClockTimer}, this);
    show_->setObjectName(QStringLiteral("Show"));
    renderShow();
    ShowClockStatus();
    followControls();
    followShowWithRemote();
}

void TfFrameLock::followControls() {
    // The controls as the form (and then the settings) set them are the show's.
    ShowModel settings;
    settings.master = ui->rbMaster->isChecked();
    settings.lan = ui->rbLan->isChecked();
    settings.syncPoints = ui->lbCut->Items();
    settings.selection = ui->lbCut->currentRow();
    settings.inPoint = ui->eIn->Value();
    settings.loop = ui->cbRepeat->isChecked();
    settings.fullScreenWanted = ui->cbFullscreen->isChecked();
    settings.testMode = ui->cbTest->isChecked();
    show_->takeSettings(settings);
    // Before the role's and the link's own handlers, whichever button of a pair tells first.
    connect(ui->rbMaster, &QAbstractButton::toggled, show_, &ShowController::setRole);
    connect(ui->rbSlave, &QAbstractButton::toggled, show_,
            [this](bool on) { show_->setRole(!on); });
    connect(ui->rbLan, &QAbstractButton::toggled, show_, &ShowController::setLan);
    connect(ui->rbCom, &QAbstractButton::toggled, show_, [this](bool on) { show_->setLan(!on); });
    const auto items = [this] {
        if (!RenderingShow) {
            show_->setSyncPoints(ui->lbCut->Items());
        }
    };
    QAbstractItemModel* list = ui->lbCut->model();
    connect(list, &QAbstractItemModel::rowsInserted, this, items);
    connect(list, &QAbstractItemModel::rowsRemoved, this, items);
    connect(list, &QAbstractItemModel::dataChanged, this, items);
    connect(list, &QAbstractItemModel::modelReset, this, items);
    connect(ui->lbCut, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!RenderingShow) {
            show_->setSelection(row);
        }
    });
    connect(ui->eIn, &QLineEdit::textChanged, this, [this] {
        if (!RenderingShow) {
            show_->setInPoint(ui->eIn->Value());
        }
    });
}

void TfFrameLock::renderShow() {
    connect(show_, &ShowController::syncPointsChanged, this, [this](const QStringList& items) {
        const QScopedValueRollback rendering(RenderingShow, true);
        ui->lbCut->setItems(items);
        SelectSyncPoint(show_->model().selection);
    });
    connect(show_, &ShowController::selectionChanged, this, [this](int row) {
        const QScopedValueRollback rendering(RenderingShow, true);
        SelectSyncPoint(row);
    });
    connect(show_, &ShowController::inPointChanged, this, [this](std::int32_t frame) {
        const QScopedValueRollback rendering(RenderingShow, true);
        ui->eIn->setText(QString::number(frame));
    });
    connect(show_, &ShowController::loopChanged, this, [this](bool on) {
        const QScopedValueRollback rendering(RenderingShow, true);
        ui->cbRepeat->setChecked(on);
    });
    connect(show_, &ShowController::fullScreenWantedChanged, this, [this](bool on) {
        const QScopedValueRollback rendering(RenderingShow, true);
        ui->cbFullscreen->setChecked(on);
    });
    connect(show_, &ShowController::testModeChanged, this, [this](bool on) {
        const QScopedValueRollback rendering(RenderingShow, true);
        ui->cbTest->setChecked(on);
    });
    connect(show_, &ShowController::positioned, this, [this](std::int64_t frame) {
        ui->seAktFrame->setText(QString::number(frame));
        FrameBoxEdited = false;
        if (player_->DurationFrames() > 0) {
            UpdatingPositionBar = true;
            ui->tbPosition->setValue(positionBarValue(frame, player_->DurationFrames()));
            UpdatingPositionBar = false;
        }
    });
    connect(show_, &ShowController::startArmed, this, [this] { FlashLed(ui->syncLed); });
    connect(show_, &ShowController::mediaMismatch, this,
            [this](const WordedText& worded) { ShowStatus(ShownStatusBox(), worded); });
}

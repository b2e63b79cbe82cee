// The operator's controls that are not about Sync points: function keys, the quit key, the
// interface lock, language, full screen and loop, the LEDs, the file chooser, Help and About.
#include "app/window/frame_lock.h"

#include "app/media_retry.h"
#include "app/show_controller.h"

#include "media/graph_player.h"
#include "storage/interface_entries.h"
#include "storage/kt_language.h"
#include "storage/wording.h"
#include "ui_fFrameLock.h"
#include "widgets/dialog_service.h"
#include "widgets/gui/about_dialog.h"
#include "widgets/help_launch.h"
#include "widgets/widgets_log.h"

#include <QPointer>
#include <QTimer>

void TfFrameLock::FormKeyDown(QObject* Sender, int Key, Qt::KeyboardModifiers Shift) {
    Q_UNUSED(Sender);
    switch (Key) {
        case Qt::Key_F1:
            operators_.run(QStringLiteral("start"));
            break;
        case Qt::Key_F2:
            operators_.run(QStringLiteral("stop"));
            break;
        case Qt::Key_F3:
            operators_.run(QStringLiteral("rewind"));
            break;
        case Qt::Key_F4:
            if (Shift == Qt::NoModifier && QGuiApplication::mouseButtons() == Qt::NoButton) {
                operators_.run(QStringLiteral("fullscreen"), player_->FullScreenActive() ? 0 : 1);
            } else if (Shift == Qt::AltModifier) {
                // Where a window manager binds Alt+F4 it never gets here; on a bare X server
                // (a kiosk session) the window closes all the same.
                close();
            }
            break;
        case Qt::Key_F5:
            operators_.run(QStringLiteral("step"), -25);
            break;
        case Qt::Key_F6:
            operators_.run(QStringLiteral("step"), 25);
            break;
        case Qt::Key_F7:
            operators_.run(QStringLiteral("step"), -1);
            break;
        case Qt::Key_F8:
            operators_.run(QStringLiteral("step"), 1);
            break;
        default:
            break;
    }
}

void TfFrameLock::FormKeyPress(QObject* Sender, QChar Key) {
    Q_UNUSED(Sender);
    UnlockKeyPressed = Key == QChar(kUnlockCharacter);
    if (Key == QLatin1Char('Q')) {
        close();
    }
}

void TfFrameLock::cbLockClick() {
    if (!UnlockKeyPressed && !ui->cbLock->isChecked()) {
        // Runs this handler once more, which locks.
        ui->cbLock->setChecked(true);
        return;
    }
    UnlockKeyPressed = false;
    const bool enabled = !ui->cbLock->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->rbMaster, ui->rbSlave,   ui->rbLan,  ui->rbCom,  ui->cbFullscreen, ui->cbRepeat,
             ui->bFile,    ui->eFilename, ui->bSet,   ui->bSetIn, ui->bDelete,      ui->cbAutoStart,
             ui->eSlaveIP, ui->tbSync,    ui->cbCom1, ui->cbCom2, ui->bHelp,        ui->sbUSA,
             ui->sbGerman, ui->cbTest,    ui->eIn}) {
        control->setEnabled(enabled);
    }
}

void TfFrameLock::cbLockMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift) {
    Q_UNUSED(Button);
    if (ui->cbLock->isChecked()) {
        return;
    }
    ui->cbLock->setChecked(true);
    if (!Shift.testFlag(Qt::ShiftModifier)) {
        lang->ShowMessageByKey(QStringLiteral("Msg_Unlock"), QStringLiteral("MsgTitel_Unlock"),
                               MessageBoxFlags::IconExclamation);
    }
}

void TfFrameLock::sbUSAClick() {
    show_->setLanguage(ui->sbUSA->isChecked() ? 0 : 1);
}

bool TfFrameLock::SetLanguage(int index) {
    if (!lang->ApplyLanguageChecked(this, index)) {
        return false;
    }
    // The language file sets the bare title.
    setWindowTitle(windowTitle() + TitleSuffixText());
    RefreshLinkStatus();
    return true;
}

void TfFrameLock::cbFullscreenClick() {
    show_->setFullScreenWanted(ui->cbFullscreen->isChecked());
}

void TfFrameLock::cbRepeatClick() {
    show_->setLoop(ui->cbRepeat->isChecked());
}

void TfFrameLock::FormDblClick() {
    show_->leaveFullScreen();
}

void TfFrameLock::FlashLed(TLedIndicator* led) {
    led->setValue(true);
    if (!ledtimer->isActive()) {
        ledtimer->start();
    }
}

void TfFrameLock::ledtimerTimer() {
    ledtimer->stop();
    for (TLedIndicator* led : {ui->masterled, ui->syncLed, ui->slaveled, ui->thruled}) {
        led->setValue(false);
    }
}

void TfFrameLock::bHelpClick() {
    // The desktop's viewer may give up long after the click.
    const QPointer<TfFrameLock> self(this);
    LaunchHelp(
        *services_.dialogs, [this](const QString& key) { return lang->TextByKey(key); },
        ui->sbUSA->isChecked(), services_.programDir,
        [self](const QString& page) {
            if (!self || self->Closing) {
                return;
            }
            qCWarning(lcWidgets).noquote() << "no viewer opened the help page" << page;
            self->ShowStatus(self->ShownStatusBox(), [page](const Wording& say) {
                return say("TxT_HelpNotOpened",
                           "The help did not open: no web browser shows it for this user (a "
                           "browser refuses to run as root). Open it in a browser by hand: %1")
                    .arg(page);
            });
        });
}

void TfFrameLock::bAboutClick() {
    TfktWAbout about(*services_.dialogs, OperatorWording(), this);
    about.exec();
}

void TfFrameLock::bFileClick() {
    OpenFileRequest request;
    request.filter =
        OperatorWording()("TxT_MediaFilter",
                          "AVI Files (*.avi)|*.avi|WAV Files (*.wav)|*.wav|MP3 Files (*.mp3)|*.mp3|"
                          "Filter Graph Editor Files (*.grf)|*.grf|All Files (*.*)|*.*");
    request.defaultExtension = QStringLiteral("avi");
    // A file missing since the start stands in the settings and the retry, not in the box.
    MediaRetry& retry = show_->mediaRetry();
    const bool previousAwaited = retry.awaits(ui->eFilename->text());
    const QString previous = retry.showFile(ui->eFilename->text());
    request.fileName = previous;
    request.mustExist = true;
    const std::optional<QString> chosen = services_.dialogs->openFile(request);
    // A cancelled choice keeps the file, open as it was.
    if (!chosen) {
        return;
    }
    if (player_->MediaOpen()) {
        player_->CloseMedia();
    }
    ui->eFilename->setText(*chosen);
    if (retry.openChosen()) {
        MediaOpened();
    } else {
        // The file that played (or is awaited) stays, with everything set for it.
        const QString failure = MediaFailureText(QStringLiteral("ErrMsg_OpenFile"));
        if (previousAwaited) {
            retry.await(previous);
        } else {
            ui->eFilename->setText(previous);
            player_->OpenMedia();
        }
        const Wording say = OperatorWording();
        services_.dialogs->messageBox(
            failure + QStringLiteral("\n\n") +
                (previous.isEmpty() ? say("TxT_MediaChooseAnother", "Please choose another file.")
                                    : say("TxT_MediaKept", "The previous file stays chosen:") +
                                          QLatin1Char('\n') + previous),
            lang->TextByKey(QStringLiteral("ErrTitel_SetOpenFile")), MessageBoxFlags::IconError);
    }
    ui->eFilename->setToolTip(ui->eFilename->text());
}

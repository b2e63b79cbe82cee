// Binds the window's handlers to its controls, components and timers, and routes every key typed
// in the window through the window's key handlers before the focused control sees it.
#include "app/window/frame_lock.h"

#include "net/net_log.h"

#include "app/app_log.h"
#include "app/master_status_keeper.h"
#include "app/media_retry.h"
#include "app/show_controller.h"
#include "app/show_status.h"
#include "app/slave_show_reporter.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "ui_fFrameLock.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

namespace {

QString endpoint(const TSimpleTCPClient& socket) {
    return socket.Host() + QLatin1Char(':') + QString::number(socket.Port());
}

template <typename Button, typename Handler>
void onChecked(Button* button, Handler handler) {
    QObject::connect(button, &QAbstractButton::toggled, button, [handler](bool checked) {
        if (checked) {
            handler();
        }
    });
}

}  // namespace

void TfFrameLock::connectHandlers() {
    statusModel_ = new ShowStatusModel(this);
    statusModel_->setObjectName(QStringLiteral("StatusModel"));
    createStatusDesk();
    onChecked(ui->rbMaster, [this] { rbMasterClick(); });
    onChecked(ui->rbSlave, [this] { rbSlaveClick(); });
    onChecked(ui->rbLan, [this] { rbLanClick(); });
    onChecked(ui->rbCom, [this] { rbLanClick(); });
    connect(ui->cbCom1, &QComboBox::activated, this, [this] { cbCom1Change(); });
    connect(ui->cbCom2, &QComboBox::activated, this, [this] { cbCom2Change(); });
    connect(ui->cbLock, &QAbstractButton::toggled, this, [this] { cbLockClick(); });
    // Set from the show's model, they have nothing to tell it.
    connect(ui->cbFullscreen, &QAbstractButton::toggled, this, [this] {
        if (!RenderingShow) {
            cbFullscreenClick();
        }
    });
    connect(ui->cbRepeat, &QAbstractButton::toggled, this, [this] {
        if (!RenderingShow) {
            cbRepeatClick();
        }
    });
    connect(ui->cbTest, &QAbstractButton::toggled, this, [this] {
        if (!RenderingShow) {
            cbTestClick();
        }
    });
    connect(ui->sbUSA, &QAbstractButton::clicked, this, [this] { sbUSAClick(); });
    connect(ui->sbGerman, &QAbstractButton::clicked, this, [this] { sbUSAClick(); });

    connect(ui->bPlay, &QAbstractButton::clicked, this, [this] { bPlayClick(); });
    connect(ui->bStop, &QAbstractButton::clicked, this, [this] { bStopClick(); });
    connect(ui->bRewind, &QAbstractButton::clicked, this, [this] { bRewindClick(); });
    connect(ui->bSet, &QAbstractButton::clicked, this, [this] { bSetClick(); });
    connect(ui->bSetIn, &QAbstractButton::clicked, this, [this] { bSetInClick(); });
    connect(ui->bGo, &QAbstractButton::clicked, this, [this] { bGoClick(); });
    connect(ui->bDelete, &QAbstractButton::clicked, this, [this] { bDeleteClick(); });
    connect(ui->bFile, &QAbstractButton::clicked, this, [this] { bFileClick(); });
    connect(ui->bHelp, &QAbstractButton::clicked, this, [this] { bHelpClick(); });
    connect(ui->bAbout, &QAbstractButton::clicked, this, [this] { bAboutClick(); });
    connect(ui->lbCut, &QListWidget::itemDoubleClicked, this, [this] { lbCutDblClick(); });
    connect(ui->tbSync, &QSlider::valueChanged, this, [this] { tbSyncChange(); });
    connect(ui->tbPosition, &QSlider::valueChanged, this, [this] { tbPositionChange(); });
    ui->seAktFrame->ktOnNewValue = [this](TktSpinEdit&) { seAktFramektOnNewValue(); };
    ui->seAktFrame->OnChange = [this](TSpinEdit&) { seAktFrameChange(); };
    ui->seAktFrame->OnExit = [this](TSpinEdit&) { seAktFrameExit(); };

    Server->OnError = [this](QObject* s, qint32 socket, qint32 code, const QString& text) {
        ServerError(s, socket, code, text);
    };
    Client->OnError = [this](QObject* s, qint32 socket, qint32 code, const QString& text) {
        ClientError(s, socket, code, text);
    };
    BuildLinks();
    for (SyncLink* link :
         {static_cast<SyncLink*>(&MasterLink()), static_cast<SyncLink*>(&SlaveLink()),
          static_cast<SyncLink*>(&SerialLink())}) {
        link->onCommand = [this](const QByteArray& command, QObject*) { DispatchCommand(command); };
        link->onLamp = [this](SyncLink::Lamp lamp) {
            FlashLed(lamp == SyncLink::Lamp::Sent       ? ui->masterled
                     : lamp == SyncLink::Lamp::PassedOn ? ui->thruled
                                                        : ui->slaveled);
        };
    }
    MasterLink().onBytes = [this](QObject* from, QByteArrayView bytes) {
        statusKeeper_->receive(static_cast<TSimpleTCPClient*>(from), bytes);
    };
    MasterLink().onPeerJoined = [this](TSimpleTCPClient& c) {
        statusKeeper_->logAboutSlave(false, c.Host(),
                                     QStringLiteral("slave connected ") + endpoint(c));
        ServerClientConnected(Server, &c);
        JoinSlave(&c);
    };
    MasterLink().onPeerLeft = [this](TSimpleTCPClient& c) {
        statusKeeper_->logAboutSlave(false, c.Host(),
                                     QStringLiteral("slave disconnected ") + endpoint(c));
        ServerClientConnected(Server, &c);
    };
    SlaveLink().onDisconnected = [this] { ClientDisconnected(Client); };
    SlaveLink().onConnected = [this] {
        qCInfo(lcNet).noquote() << "connected to" << endpoint(*Client);
    };
    SlaveLink().onFollowing = [this] {
        if (!Closing) {
            SharedClockLinked();
            slaveReporter_->connected();
        }
    };
    SlaveLink().onMaster = [this](LanSlaveLink::MasterState state, const MasterHello& hello) {
        MasterAnswered(state, hello);
    };
    SerialLink().onPortClosed = [this](TComPort& port) { ComPortClose(&port); };

    connect(StatusTimer, &QTimer::timeout, this, [this] { StatusTimerTimer(); });
    connect(CountdownTimer, &QTimer::timeout, this, [this] { CountdownTimerTimer(); });
    connect(OpenTimer, &QTimer::timeout, this, [this] { OpenTimerTimer(); });
    connect(ClientStatusTimer, &QTimer::timeout, this, [this] { ClientStatusTimerTimer(); });
    connect(ledtimer, &QTimer::timeout, this, [this] { ledtimerTimer(); });
    connect(ComRetryTimer, &QTimer::timeout, this, [this] { ComRetryTimerTimer(); });
    connect(ui->eFilename, &QLineEdit::textChanged, this, [this] {
        // A file the operator chose (or none) is the show's file from now on.
        if (!UpdatingFileBox) {
            show_->mediaRetry().forget();
        }
    });
}

bool TfFrameLock::isKeyPropagation(const QKeyEvent* key, const QWidget* receiver) const {
    // Qt offers an unhandled key to each parent in turn, and each offer passes the application's
    // event filters again; only the first offer counts.
    return key == lastKey_.event && key->timestamp() == lastKey_.timestamp && lastKey_.receiver &&
           receiver != lastKey_.receiver && receiver->isAncestorOf(lastKey_.receiver);
}

bool TfFrameLock::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::KeyPress && widget && widget->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isKeyPropagation(key, widget)) {
            return false;
        }
        lastKey_ = {key, key->timestamp(), widget};
        FormKeyDown(watched, key->key(), key->modifiers());
        if (!key->text().isEmpty()) {
            FormKeyPress(watched, key->text().front());
        }
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (watched == ui->eSlaveIP || watched == ui->eServerStatus ||
                      watched == ui->eClientStatus)) {
            return eSlaveIPKeyPress(watched, QChar(13));
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == ui->cbLock) {
            cbLockMouseDown(mouse->button(), mouse->modifiers());
        } else if (watched == ui->gbSync) {
            gbSyncClick();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfFrameLock::mouseDoubleClickEvent(QMouseEvent* event) {
    FormDblClick();
    QWidget::mouseDoubleClickEvent(event);
}

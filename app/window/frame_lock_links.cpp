// Role, link and the opening, retrying and closing of the TCP and serial links.
#include "app/window/frame_lock.h"
#include "net/net_log.h"

#include "app/kt_props.h"
#include "app/master_status_keeper.h"
#include "app/printable_text.h"
#include "net/link_failure_text.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_error.h"
#include "serial/com_failure_text.h"
#include "serial/com_port.h"
#include "storage/kt_language.h"
#include "storage/profile_file.h"
#include "storage/windows1252.h"
#include "storage/wording.h"
#include "ui_fFrameLock.h"
#include "widgets/dialog_service.h"
#include "widgets/gui/status_box.h"
#include "widgets/product_info.h"

#include <QTimer>
#include <optional>
#include "app/app_log.h"
#include "serial/serial_log.h"

namespace {

constexpr int kMasterLinkTop = 428;
constexpr int kSlaveLinkTop = 336;
constexpr int kHighestComPort = 8;

struct ComFailure {
    EComPort error;
    QString devicePath;
    // The port's own wording ("Unable to open com port (win error code: 13)"), for the log.
    QString raw() const { return QString::fromUtf8(error.what()); }
    // The device and the Linux reason, for the operator; English for the log.
    QString reason(const Wording& say = Wording()) const {
        return ComFailureText(error, devicePath, say);
    }
};

// Opens the port as COMnumber; what went wrong when it cannot be opened.
std::optional<ComFailure> tryOpenComPort(TComPort& port, int number) {
    if (number > kHighestComPort) {
        return ComFailure{EComPort(ComErrorCode::OpenFailed), QStringLiteral("COM%1").arg(number)};
    }
    try {
        port.SetPort(static_cast<TPortType>(number - 1));
        port.Open();
        return std::nullopt;
    } catch (const EComPort& e) {
        return ComFailure{e, port.DevicePaths().PathFor(port.Port())};
    }
}

// The language file's value loses its trailing space when it is read.
QString ComPortLostText(const Wording& say, const QString& device) {
    return say("TxT_ComPortLost", "Serial port lost, trying again:").trimmed() + QLatin1Char(' ') +
           device;
}

}  // namespace

void TfFrameLock::rbMasterClick() {
    ui->gbMaster->setVisible(IsMaster());
    ui->gbSlave->setVisible(!IsMaster());
    ApplyRoleLayout();
}

void TfFrameLock::rbSlaveClick() {
    rbMasterClick();
}

void TfFrameLock::rbLanClick() {
    ApplyRoleLayout();
}

void TfFrameLock::ApplyRoleLayout() {
    const bool master = IsMaster();
    const bool lan = IsLan();
    ui->gbLanMaster->setVisible(lan && master);
    ui->gbLanSlave->setVisible(lan && !master);
    ui->gbCom->setVisible(!lan);
    ui->lCom1Master->setVisible(master);
    ui->lCom2Master->setVisible(master);
    ui->lCom1Slave->setVisible(!master);
    ui->lCom2Slave->setVisible(!master);
    ui->gbNavigate->setVisible(master);
    ui->bGo->setVisible(master);
    ui->bDelete->setVisible(master);
    ui->lbCut->setEnabled(master);
    const int top = master ? kMasterLinkTop : kSlaveLinkTop;
    for (QWidget* group :
         {static_cast<QWidget*>(ui->gbLanMaster), static_cast<QWidget*>(ui->gbLanSlave),
          static_cast<QWidget*>(ui->gbCom)}) {
        group->move(group->x(), top);
    }
    FitToContents();
    OpenLink();
}

void TfFrameLock::BuildLinks() {
    masterLink_ = std::make_unique<LanMasterLink>(*Server);
    slaveLink_ = std::make_unique<LanSlaveLink>(*Client);
    serialLink_ = std::make_unique<SerialChainLink>(*ComPort1, *ComPort2);
}

void TfFrameLock::OpenLink() {
    // Restored settings switch role and link before the first show; the first show opens the
    // link once, after the language is known to be sound.
    if (Closing || FirstShow) {
        return;
    }
    OpenSharedClock();
    // Read anew at every opening, so that a show name or a port mapping edited by hand needs no
    // restart.
    const ProfileDocument settings =
        readProfileFile(services_.programDir + QStringLiteral("frameLock.ini"));
    const QString showName =
        decodeWindows1252(settings.readString("System", "ShowName", QByteArray()).trimmed());
    const bool master = IsMaster();
    SyncLink* const wanted = !IsLan() ? static_cast<SyncLink*>(serialLink_.get())
                             : master ? static_cast<SyncLink*>(masterLink_.get())
                                      : static_cast<SyncLink*>(slaveLink_.get());
    for (SyncLink* link :
         {static_cast<SyncLink*>(masterLink_.get()), static_cast<SyncLink*>(slaveLink_.get()),
          static_cast<SyncLink*>(serialLink_.get())}) {
        if (link != wanted) {
            link->close();
        }
    }
    link_ = wanted;
    if (IsLan()) {
        ComRetryTimer->stop();
        masterLink_->setGreeting(SyncCommand::hello({product::kTitleWithVersion, showName}));
        slaveLink_->setShowName(showName);
        link_->open();
        if (Client->Connected()) {
            ShowStatus(ui->eClientStatus,
                       [host = Client->Host(), port = Client->Port()](const Wording& say) {
                           return say("TxT_ClientConnecting", "Connecting to the Master on %1:%2")
                               .arg(host)
                               .arg(port);
                       });
        }
        if (Server->Listen()) {
            qCInfo(lcNet) << "listening on port" << Server->Port();
            ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ServerOK"));
        }
        return;
    }
    ClientStatusTimer->stop();
    const int p1 = ComportsNr->ktInteger1();
    const int p2 = ComportsNr->ktInteger2();
    ui->cbCom1->setCurrentIndex(p1);
    ui->cbCom2->setCurrentIndex(p2);
    ApplyLinkDevicePaths(settings);
    ShowComFailure(QString(), QString());
    serialLink_->setHead(master);
    serialLink_->open();
    OpenComPort(*ComPort1, p1, "ErrMsg_SetComPort1");
    OpenComPort(*ComPort2, p2, "ErrMsg_SetComPort2");
}

void TfFrameLock::MasterAnswered(LanSlaveLink::MasterState state, const MasterHello& hello) {
    if (Closing) {
        return;
    }
    if (state != LanSlaveLink::MasterState::Refused) {
        ShowLinkedMaster();
        return;
    }
    ShowStatus(ui->eClientStatus,
               [where = Client->Host() + QLatin1Char(':') + QString::number(Client->Port()),
                theirs = printableText(hello.showName),
                mine = printableText(SlaveLink().showName())](const Wording& say) {
                   return say("TxT_MasterRefused",
                              "Refused the Master on %1: it plays the show \"%2\", this Slave "
                              "belongs to \"%3\"; trying again")
                       .arg(where, theirs, mine);
               });
    ClientStatusTimer->start();
}

void TfFrameLock::ShowLinkedMaster() {
    const std::optional<MasterHello>& linked = SlaveLink().linkedMaster();
    if (!linked) {
        ShowStatus(
            ui->eClientStatus, [where = Client->Host() + QLatin1Char(':') +
                                        QString::number(Client->Port())](const Wording& say) {
                return say("TxT_MasterSilent", "Connected, but no frameLock Master answers on %1")
                    .arg(where);
            });
        return;
    }
    if (linked->showName.trimmed().isEmpty()) {
        ShowStatus(ui->eClientStatus, QStringLiteral("TxT_ClientStatusConnect"));
        return;
    }
    ShowStatus(ui->eClientStatus, [name = printableText(linked->showName)](const Wording& say) {
        return say("TxT_MasterConnected", "Connected with Master %1").arg(name);
    });
}

void TfFrameLock::ApplyLinkDevicePaths(const ProfileDocument& settings) {
    TComDevicePaths paths;
    for (const QByteArray& key : settings.keys("Ports")) {
        paths.SetPath(QString::fromLatin1(key),
                      decodeWindows1252(settings.readString("Ports", key, QByteArray())));
    }
    ComPort1->SetDevicePaths(paths);
    ComPort2->SetDevicePaths(paths);
}

void TfFrameLock::OpenComPort(TComPort& port, int number, const char* errorKey) {
    if (number <= 0) {
        port.Close();
        return;
    }
    if (const std::optional<ComFailure> failure = tryOpenComPort(port, number)) {
        qCWarning(lcSerial).noquote()
            << port.objectName() << QStringLiteral("COM%1").arg(number)
            << "cannot be opened:" << failure->raw() << "-" << failure->reason();
        port.Close();
        // The language file's text first, then what it is in this case.
        services_.dialogs->messageBox(
            lang->TextByKey(QString::fromLatin1(errorKey)) + QStringLiteral("\n\n") +
                failure->reason(OperatorWording()),
            lang->TextByKey(QStringLiteral("ErrTitel_SetComPort")), MessageBoxFlags::IconError);
    }
}

void TfFrameLock::cbCom1Change() {
    ChooseComPort(*ui->cbCom1, ComportsNr->ktInteger2(),
                  [this](int port) { ComportsNr->setKtInteger1(port); });
}

void TfFrameLock::cbCom2Change() {
    ChooseComPort(*ui->cbCom2, ComportsNr->ktInteger1(),
                  [this](int port) { ComportsNr->setKtInteger2(port); });
}

void TfFrameLock::ChooseComPort(QComboBox& box, int otherPort,
                                const std::function<void(int)>& store) {
    // One serial port cannot serve as both ports.
    if (box.currentIndex() == otherPort && box.currentIndex() > 0) {
        box.setCurrentIndex(0);
    }
    store(box.currentIndex());
    OpenLink();
}

bool TfFrameLock::eSlaveIPKeyPress(QObject* Sender, QChar Key) {
    Q_UNUSED(Sender);
    if (Key != QChar(13)) {
        return false;
    }
    Client->setConnected(false);
    Client->setHost(ui->eSlaveIP->text());
    OpenLink();
    return true;
}

void TfFrameLock::ServerError(QObject* Sender, qint32 Socket, qint32 ErrorCode,
                              const QString& ErrorMsg) {
    Q_UNUSED(Sender);
    const quint16 port = Server->Port();
    const QString text = LinkFailureText::forServer(ErrorCode, ErrorMsg, port);
    qCWarning(lcNet).noquote() << "error" << ErrorCode << text << "on server socket" << Socket;
    ShowStatus(ui->eServerStatus, [ErrorCode, ErrorMsg, port](const Wording& say) {
        return LinkFailureText::forServer(ErrorCode, ErrorMsg, port, say);
    });
    services_.dialogs->beep(BeepKind::Exclamation);
    // A failed connection is already dropped by the server alone; restarting the server would
    // throw every other Slave off the Master. Only a server that no longer listens retries.
    if (!Server->Listen() && !Closing) {
        ClientStatusTimer->start();
    }
}

void TfFrameLock::ClientError(QObject* Sender, qint32 Socket, qint32 ErrorCode,
                              const QString& ErrorMsg) {
    Q_UNUSED(Sender);
    const QString host = Client->Host();
    const quint16 port = Client->Port();
    const QString text = LinkFailureText::forClient(ErrorCode, ErrorMsg, host, port);
    qCWarning(lcNet).noquote() << "error" << ErrorCode << text << "on client socket" << Socket;
    ShowStatus(ui->eClientStatus, [ErrorCode, ErrorMsg, host, port](const Wording& say) {
        return LinkFailureText::forClient(ErrorCode, ErrorMsg, host, port, say);
    });
    services_.dialogs->beep(BeepKind::Exclamation);
    if (!Closing) {
        ClientStatusTimer->start();
    }
}

void TfFrameLock::ClientDisconnected(QObject* Sender) {
    Q_UNUSED(Sender);
    // A Master that stopped in an orderly way (or whose process ended) raises no error; without
    // this a Slave would never try again.
    qCInfo(lcNet) << "the Master closed the connection";
    if (!Closing) {
        ClientStatusTimer->start();
    }
}

void TfFrameLock::ClientStatusTimerTimer() {
    ClientStatusTimer->stop();
    OpenLink();
}

void TfFrameLock::ServerClientConnected(QObject* Sender, TSimpleTCPClient* Client) {
    Q_UNUSED(Sender);
    // Called as a connection comes and as it goes.
    statusKeeper_->refresh(Client);
}

void TfFrameLock::ComPortClose(QObject* Sender) {
    auto* port = static_cast<TComPort*>(Sender);
    // Our own closes raise OnClose too; only a port whose device went away is retried.
    if (!port->DeviceLost() || Closing || IsLan()) {
        return;
    }
    // The device went away (an adapter pulled, a line hung up): try again until it is back.
    qCWarning(lcSerial, "lost %s (reopening every %d ms)", qPrintable(port->DeviceName()),
              ComRetryTimer->interval());
    ShowStatus(ui->lComStatus, [device = port->DeviceName()](const Wording& say) {
        return ComPortLostText(say, device);
    });
    services_.dialogs->beep(BeepKind::Exclamation);
    ComRetryTimer->start();
}

void TfFrameLock::ComRetryTimerTimer() {
    ComRetryTimer->stop();
    if (Closing || IsLan()) {
        return;
    }
    ApplyLinkDevicePaths(readProfileFile(services_.programDir + QStringLiteral("frameLock.ini")));
    bool missing = false;
    const std::pair<TComPort*, int> wanted[] = {{ComPort1, ComportsNr->ktInteger1()},
                                                {ComPort2, ComportsNr->ktInteger2()}};
    for (const auto& [port, number] : wanted) {
        if (number <= 0 || number > kHighestComPort || port->Connected()) {
            continue;
        }
        if (const std::optional<ComFailure> failure = tryOpenComPort(*port, number)) {
            missing = true;
            ShowStatus(ui->lComStatus,
                       [device = port->DeviceName(), failed = *failure](const Wording& say) {
                           return ComPortLostText(say, device) + QStringLiteral(" (") +
                                  failed.reason(say) + QLatin1Char(')');
                       });
        } else {
            qCInfo(lcSerial) << port->objectName() << "is back";
        }
    }
    if (missing) {
        ComRetryTimer->start();
    } else {
        ShowComFailure(QString(), QString());
    }
}

void TfFrameLock::ShowStatus(TStatusBox* box, const QString& key, const QString& detail) {
    linkStatus_[box] = {key, detail, {}};
    box->setText(LinkStatusText(linkStatus_[box]));
    FitToContents();
}

void TfFrameLock::ShowStatus(TStatusBox* box, std::function<QString(const Wording&)> worded) {
    linkStatus_[box] = {QString(), QString(), std::move(worded)};
    box->setText(LinkStatusText(linkStatus_[box]));
    FitToContents();
}

void TfFrameLock::ShowComFailure(const QString& key, const QString& detail) {
    ShowStatus(ui->lComStatus, key, detail);
}

QString TfFrameLock::LinkStatusText(const LinkStatus& status) const {
    if (status.worded) {
        return status.worded(OperatorWording());
    }
    return (status.key.isEmpty() ? QString() : lang->TextByKey(status.key)) + status.detail;
}

Wording TfFrameLock::OperatorWording() const {
    return Wording([this](const QString& key) { return lang->TextByKey(key); });
}

TStatusBox* TfFrameLock::ShownStatusBox() const {
    if (!IsLan()) {
        return ui->lComStatus;
    }
    return IsMaster() ? ui->eServerStatus : ui->eClientStatus;
}

void TfFrameLock::RefreshLinkStatus() {
    for (TStatusBox* box : {ui->eServerStatus, ui->eClientStatus, ui->lComStatus}) {
        if (linkStatus_.contains(box)) {
            box->setText(LinkStatusText(linkStatus_.value(box)));
        }
    }
    FitToContents();
}

// The show from the show network: the dashboard, the HTTP API and OSC, served by a LAN Master
// only. A Slave serves nothing; a change of role or link opens or closes the remote layer.
#include "app/window/frame_lock.h"

#include "app/show_controller.h"

#include "net/net_log.h"
#include "net/remote_layer.h"
#include "net/remote_props.h"
#include "net/remote_token.h"
#include "net/simple_tcp_server.h"
#include "ui_fFrameLock.h"

void TfFrameLock::createRemote() {
    Remote = new TRemoteProps(this);
    Remote->setObjectName(QStringLiteral("Remote"));
}

void TfFrameLock::followShowWithRemote() {
    // The show's role and link, once the controller took them from the buttons.
    connect(show_, &ShowController::roleChanged, this, [this] { OpenRemote(); });
    connect(show_, &ShowController::linkChanged, this, [this] { OpenRemote(); });
}

void TfFrameLock::OpenRemote() {
    const bool wanted = !Closing && !FirstShow && IsMaster() && IsLan() &&
                        (Remote->HttpPort() != 0 || Remote->OscPort() != 0);
    if (!wanted) {
        remote_.reset();
        return;
    }
    if (remote_) {
        return;
    }
    const QString iniPath = services_.programDir + QStringLiteral("frameLock.ini");
    if (Remote->Token().isEmpty()) {
        Remote->setToken(makeRemoteToken());
        QString error;
        if (!storeRemoteToken(iniPath, Remote->Token(), &error)) {
            qCWarning(lcNet).noquote()
                << QStringLiteral(
                       "remote: the new token could not be written to %1 (%2); it "
                       "holds for this run")
                       .arg(iniPath, error);
        }
    }
    qCInfo(lcNet).noquote() << QStringLiteral(
                                   "remote: operations need the token %1 (Remote_Token in %2)")
                                   .arg(Remote->Token(), iniPath);
    RemoteShow show;
    show.operators = &operators_;
    show.status = statusModel_;
    show.programDir = services_.programDir;
    show.language = [this] {
        return ui->sbUSA->isChecked() ? QStringLiteral("en") : QStringLiteral("de");
    };
    show.token = Remote->Token();
    show.hosts = CommandHostList(Server->CommandHosts());
    remote_ = std::make_unique<RemoteLayer>(std::move(show));
    remote_->open({Remote->HttpPort(), Remote->OscPort()}, Remote->HttpPort() != 0,
                  Remote->OscPort() != 0);
}

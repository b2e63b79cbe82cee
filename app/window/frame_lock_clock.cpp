// The window's part in the shared clock: the clock's settings and the link's peer for the show's
// controller, the clock's state in the link status boxes, and the show's place for a Slave that
// connects while the show plays.
#include "app/window/frame_lock.h"

#include "app/app_log.h"
#include "app/master_status_keeper.h"
#include "app/segment_math.h"
#include "app/shared_clock_props.h"
#include "app/show_controller.h"
#include "media/graph_player.h"
#include "net/simple_tcp_client.h"
#include "ui_fFrameLock.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QTimer>

namespace {

constexpr int ClockPollMs = 250;

}  // namespace

void TfFrameLock::createSharedClock() {
    SharedClock = new TSharedClockProps(this);
    SharedClock->setObjectName(QStringLiteral("SharedClock"));
    ClockTimer = new QTimer(this);
    ClockTimer->setObjectName(QStringLiteral("ClockTimer"));
    ClockTimer->setInterval(ClockPollMs);
    PlayTimer = new QTimer(this);
    PlayTimer->setObjectName(QStringLiteral("PlayTimer"));
    PlayTimer->setSingleShot(true);
}

void TfFrameLock::OpenSharedClock() {
    show_->openSharedClock(SharedClock->Port(), SharedClock->DriftPpm());
}

void TfFrameLock::SharedClockLinked() {
    if (IsMaster() || !IsLan()) {
        return;
    }
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    char text[INET_ADDRSTRLEN] = {};
    if (::getpeername(Client->socketHandle(), reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) {
        return;
    }
    show_->sharedClockLinked(QString::fromLatin1(text));
}

void TfFrameLock::RenewSharedClock(const QString& why) {
    show_->renewSharedClock(why);
}

void TfFrameLock::ClockTimerTimer() {
    show_->ClockTimerTimer();
}

void TfFrameLock::ShowClockStatus() {
    connect(show_, &ShowController::clockRenewed, this, [this](const QString& why) {
        ShowStatus(ui->eClientStatus, QStringLiteral("TxT_ClockRenewed"), QLatin1Char(' ') + why);
    });
    connect(show_, &ShowController::clockSettled, this, [this] {
        if (linkStatus_.value(ui->eClientStatus).key == QStringLiteral("TxT_ClockRenewed")) {
            ShowLinkedMaster();
        }
    });
    connect(show_, &ShowController::clockPublishing, this,
            [this](const QString& error, quint16 port) {
                const QString shown = linkStatus_.value(ui->eServerStatus).key;
                // "Ready" while the clock is not published would be a false claim; a link
                // failure the box shows says more and stays.
                if (!error.isEmpty() && shown == QStringLiteral("TxT_ServerOK")) {
                    ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ClockCannotPublish"),
                               QStringLiteral(" UDP %1 (%2)").arg(port).arg(error));
                } else if (error.isEmpty() && shown == QStringLiteral("TxT_ClockCannotPublish")) {
                    ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ServerOK"));
                }
            });
}

void TfFrameLock::PlayTimerTimer() {
    show_->PlayTimerTimer();
}

void TfFrameLock::JoinSlave(TSimpleTCPClient* slave) {
    if (Closing) {
        return;
    }
    const std::optional<QList<QByteArray>> commands = show_->joinCommands();
    if (!commands) {
        return;
    }
    for (const QByteArray& command : *commands) {
        MasterLink().sendTo(*slave, command);
    }
    const std::optional<JoinOrder>& started = show_->model().showStarted;
    if (commands->last().startsWith(SyncCode::Join) && started) {
        qCInfo(lcSync).noquote() << "join:" << slaveName(*slave) << "sent segment"
                                 << started->segment << "whose frame" << started->frameFromIn
                                 << "appeared at" << started->shownAtNs << "ns";
    } else {
        const qsizetype list = show_->model().syncPoints.size() + 1;
        qCInfo(lcSync).noquote() << "join:" << slaveName(*slave) << "sent the Master's place"
                                 << commands->mid(list).join(' ');
    }
}

// The shared clock of a LAN show: the Master publishes the clock its pipelines run on, the
// Slaves follow it; starts are announced on that clock's time, and a Slave that connects while
// the show plays is told where the show stands and comes in on the running frame.
#include "app/monotonic_time.h"
#include "app/window/frame_lock.h"

#include "app/app_log.h"
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
#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr std::int64_t NsPerMs = 1'000'000;
constexpr int ClockPollMs = 250;
// A clock that has not answered by then is taken as unreachable, said once.
constexpr qint64 ClockUnreachableMs = 10'000;
constexpr qint64 ClockStateEveryMs = 60'000;

double ms(std::int64_t ns) {
    return static_cast<double>(ns) / static_cast<double>(NsPerMs);
}

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
    connect(ClockTimer, &QTimer::timeout, this, [this] { ClockTimerTimer(); });
}

void TfFrameLock::OpenSharedClock() {
    ClockSetup setup;
    setup.driftPpm = SharedClock->DriftPpm();
    const quint16 port = SharedClock->Port();
    if (IsLan() && port != 0) {
        setup.port = port;
        setup.role = IsMaster() ? ClockSetup::Role::Publish : ClockSetup::Role::Follow;
        // The address the link's own lookup found: a name looked up here would block the
        // window, and one that did not resolve would leave the clock without a Master for good.
        setup.masterHost = IsMaster() ? QString() : ClockMasterAddress;
    }
    const QString key = QString::number(static_cast<int>(setup.role)) + QLatin1Char(' ') +
                        setup.masterHost + QLatin1Char(':') + QString::number(setup.port) +
                        QLatin1Char(' ') + QString::number(setup.driftPpm);
    if (key == ClockSetupKey) {
        return;
    }
    ClockSetupKey = key;
    player_->UseClock(setup);
    ClockSettledLogged = false;
    ClockUnreachableLogged = false;
    ClockStepsSeen = player_->SharedClock().steps;
    ClockPublishError.reset();
    ClockStateLoggedMs = ClockFollowedSinceMs = monotonicMs();
    switch (setup.role) {
        case ClockSetup::Role::Publish:
            WatchPublishedClock(player_->SharedClock());
            ClockTimer->start();
            break;
        case ClockSetup::Role::Follow:
            if (setup.masterHost.isEmpty()) {
                qCInfo(lcSync) << "shared clock: waiting for the link to the Master";
            } else {
                qCInfo(lcSync).noquote()
                    << "shared clock: following" << setup.masterHost << "UDP port" << setup.port
                    << "; own clock until it settles";
            }
            ClockTimer->start();
            break;
        case ClockSetup::Role::Own:
            qCInfo(lcSync) << "no shared clock: every start at \"Play\"";
            ClockTimer->stop();
            break;
    }
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
    const QString address = QString::fromLatin1(text);
    const bool sameMaster = address == ClockMasterAddress;
    ClockMasterAddress = address;
    if (!sameMaster) {
        OpenSharedClock();
        return;
    }
    // The same address may be another machine or a restarted Master whose clock starts
    // elsewhere: what the old clock learnt no longer holds.
    if (SharedClock->Port() != 0) {
        RenewSharedClock(QStringLiteral("the Master connected again"));
    }
}

void TfFrameLock::RenewSharedClock(const QString& why) {
    player_->RenewClock();
    ClockSettledLogged = false;
    ClockUnreachableLogged = false;
    ClockFollowedSinceMs = monotonicMs();
    qCWarning(lcSync).noquote() << "shared clock dropped (" + why +
                                       "): playing on its own clock until a new one settles";
    ShowStatus(ui->eClientStatus, QStringLiteral("TxT_ClockRenewed"), QLatin1Char(' ') + why);
}

void TfFrameLock::WatchPublishedClock(const SharedClockState& clock) {
    const quint16 port = SharedClock->Port();
    const bool serverReadyShown =
        linkStatus_.value(ui->eServerStatus).key == QStringLiteral("TxT_ServerOK");
    // "Ready" while the clock is not published would be a false claim; a link failure the box
    // shows says more and stays.
    if (!clock.publishError.isEmpty() && serverReadyShown) {
        ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ClockCannotPublish"),
                   QStringLiteral(" UDP %1 (%2)").arg(port).arg(clock.publishError));
    }
    if (clock.publishError == ClockPublishError) {
        return;
    }
    if (clock.publishError.isEmpty()) {
        qCInfo(lcSync) << "shared clock published on UDP port" << port;
        if (linkStatus_.value(ui->eServerStatus).key == QStringLiteral("TxT_ClockCannotPublish")) {
            ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ServerOK"));
        }
    } else {
        qCWarning(lcSync).noquote() << "shared clock cannot be published on UDP port" << port
                                    << "(" + clock.publishError + "): trying again";
    }
    ClockPublishError = clock.publishError;
}

void TfFrameLock::ClockTimerTimer() {
    const SharedClockState clock = player_->SharedClock();
    if (IsMaster()) {
        WatchPublishedClock(clock);
        return;
    }
    WatchFollowedClock(clock);
    show_->TryJoin();
}

void TfFrameLock::WatchFollowedClock(const SharedClockState& clock) {
    const qint64 now = monotonicMs();
    if (clock.steps != ClockStepsSeen) {
        ClockStepsSeen = clock.steps;
        RenewSharedClock(QStringLiteral("the Master's clock stepped by %1 s")
                             .arg(static_cast<double>(clock.lastStepNs) / 1e9, 0, 'f', 3));
        return;
    }
    if (clock.settled && !ClockSettledLogged) {
        ClockSettledLogged = true;
        ClockStateLoggedMs = now;
        qCInfo(lcSync) << "shared clock settled after" << now - ClockFollowedSinceMs << "ms: offset"
                       << ms(clock.offsetNs) << "ms, round trip" << ms(clock.roundTripNs)
                       << "ms; the pipelines run on it from their next start";
        if (linkStatus_.value(ui->eClientStatus).key == QStringLiteral("TxT_ClockRenewed")) {
            ShowStatus(ui->eClientStatus, QStringLiteral("TxT_ClientStatusConnect"));
        }
    } else if (!clock.settled && !ClockUnreachableLogged &&
               now - ClockFollowedSinceMs >= ClockUnreachableMs) {
        ClockUnreachableLogged = true;
        qCWarning(lcSync) << "shared clock not reached in" << ClockUnreachableMs / 1000
                          << "s (UDP blocked?): playing on its own clock, starting at \"Play\"";
    } else if (clock.settled && now - ClockStateLoggedMs >= ClockStateEveryMs) {
        ClockStateLoggedMs = now;
        qCInfo(lcSync) << "shared clock: settled, offset" << ms(clock.offsetNs) << "ms, round trip"
                       << ms(clock.roundTripNs) << "ms";
    }
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
        const QByteArray frame = frameCommand(command);
        slave->Send(frame.constData(), static_cast<qint32>(frame.size()));
    }
    const std::optional<JoinOrder>& started = show_->model().showStarted;
    if (commands->last().startsWith(SyncCode::Join) && started) {
        qCInfo(lcSync).noquote() << "join:" << SlaveName(*slave) << "sent segment"
                                 << started->segment << "whose frame" << started->frameFromIn
                                 << "appeared at" << started->shownAtNs << "ns";
    } else {
        const qsizetype list = show_->model().syncPoints.size() + 1;
        qCInfo(lcSync).noquote() << "join:" << SlaveName(*slave) << "sent the Master's place"
                                 << commands->mid(list).join(' ');
    }
}

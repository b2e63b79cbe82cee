// The shared clock of a LAN show: the Master publishes the clock its pipelines run on, the
// Slaves follow it; its state is logged once per change.
#include "app/show_controller.h"

#include "app/app_log.h"
#include "app/monotonic_time.h"
#include "media/graph_player.h"

#include <QTimer>

namespace {

constexpr std::int64_t NsPerMs = 1'000'000;
// A clock that has not answered by then is taken as unreachable, said once.
constexpr std::int64_t ClockUnreachableMs = 10'000;
constexpr std::int64_t ClockStateEveryMs = 60'000;

double ms(std::int64_t ns) {
    return static_cast<double>(ns) / static_cast<double>(NsPerMs);
}

}  // namespace

void ShowController::openSharedClock(quint16 port, int driftPpm) {
    SharedClockWatch& watch = model_.clock;
    ClockSetup setup;
    setup.driftPpm = driftPpm;
    if (model_.lan && port != 0) {
        setup.port = port;
        setup.role = model_.master ? ClockSetup::Role::Publish : ClockSetup::Role::Follow;
        // The address the link's own lookup found: a name looked up here would block the
        // window, and one that did not resolve would leave the clock without a Master for good.
        setup.masterHost = model_.master ? QString() : watch.masterAddress;
    }
    const QString key = QString::number(static_cast<int>(setup.role)) + QLatin1Char(' ') +
                        setup.masterHost + QLatin1Char(':') + QString::number(setup.port) +
                        QLatin1Char(' ') + QString::number(setup.driftPpm);
    watch.port = port;
    watch.driftPpm = driftPpm;
    if (key == watch.setupKey) {
        return;
    }
    watch.setupKey = key;
    player_.UseClock(setup);
    watch.settledLogged = false;
    watch.unreachableLogged = false;
    watch.stepsSeen = player_.SharedClock().steps;
    watch.publishError.reset();
    watch.stateLoggedMs = watch.followedSinceMs = monotonicMs();
    switch (setup.role) {
        case ClockSetup::Role::Publish:
            watchPublishedClock(player_.SharedClock());
            timers_.clock->start();
            break;
        case ClockSetup::Role::Follow:
            if (setup.masterHost.isEmpty()) {
                qCInfo(lcSync) << "shared clock: waiting for the link to the Master";
            } else {
                qCInfo(lcSync).noquote()
                    << "shared clock: following" << setup.masterHost << "UDP port" << setup.port
                    << "; own clock until it settles";
            }
            timers_.clock->start();
            break;
        case ClockSetup::Role::Own:
            qCInfo(lcSync) << "no shared clock: every start at \"Play\"";
            timers_.clock->stop();
            break;
    }
}

void ShowController::sharedClockLinked(const QString& masterAddress) {
    if (model_.master || !model_.lan) {
        return;
    }
    SharedClockWatch& watch = model_.clock;
    const bool sameMaster = masterAddress == watch.masterAddress;
    watch.masterAddress = masterAddress;
    if (!sameMaster) {
        openSharedClock(watch.port, watch.driftPpm);
        return;
    }
    // The same address may be another machine or a restarted Master whose clock starts
    // elsewhere: what the old clock learnt no longer holds.
    if (watch.port != 0) {
        renewSharedClock(QStringLiteral("the Master connected again"));
    }
}

void ShowController::renewSharedClock(const QString& why) {
    SharedClockWatch& watch = model_.clock;
    player_.RenewClock();
    watch.settledLogged = false;
    watch.unreachableLogged = false;
    watch.followedSinceMs = monotonicMs();
    qCWarning(lcSync).noquote() << "shared clock dropped (" + why +
                                       "): playing on its own clock until a new one settles";
    emit clockRenewed(why);
}

void ShowController::watchPublishedClock(const SharedClockState& clock) {
    SharedClockWatch& watch = model_.clock;
    emit clockPublishing(clock.publishError, watch.port);
    if (clock.publishError == watch.publishError) {
        return;
    }
    if (clock.publishError.isEmpty()) {
        qCInfo(lcSync) << "shared clock published on UDP port" << watch.port;
    } else {
        qCWarning(lcSync).noquote() << "shared clock cannot be published on UDP port" << watch.port
                                    << "(" + clock.publishError + "): trying again";
    }
    watch.publishError = clock.publishError;
}

void ShowController::ClockTimerTimer() {
    const SharedClockState clock = player_.SharedClock();
    if (model_.master) {
        watchPublishedClock(clock);
        return;
    }
    watchFollowedClock(clock);
    TryJoin();
}

void ShowController::watchFollowedClock(const SharedClockState& clock) {
    SharedClockWatch& watch = model_.clock;
    const std::int64_t now = monotonicMs();
    if (clock.steps != watch.stepsSeen) {
        watch.stepsSeen = clock.steps;
        renewSharedClock(QStringLiteral("the Master's clock stepped by %1 s")
                             .arg(static_cast<double>(clock.lastStepNs) / 1e9, 0, 'f', 3));
        return;
    }
    if (clock.settled && !watch.settledLogged) {
        watch.settledLogged = true;
        watch.stateLoggedMs = now;
        qCInfo(lcSync) << "shared clock settled after" << now - watch.followedSinceMs
                       << "ms: offset" << ms(clock.offsetNs) << "ms, round trip"
                       << ms(clock.roundTripNs)
                       << "ms; the pipelines run on it from their next start";
        emit clockSettled();
    } else if (!clock.settled && !watch.unreachableLogged &&
               now - watch.followedSinceMs >= ClockUnreachableMs) {
        watch.unreachableLogged = true;
        qCWarning(lcSync) << "shared clock not reached in" << ClockUnreachableMs / 1000
                          << "s (UDP blocked?): playing on its own clock, starting at \"Play\"";
    } else if (clock.settled && now - watch.stateLoggedMs >= ClockStateEveryMs) {
        watch.stateLoggedMs = now;
        qCInfo(lcSync) << "shared clock: settled, offset" << ms(clock.offsetNs) << "ms, round trip"
                       << ms(clock.roundTripNs) << "ms";
    }
}

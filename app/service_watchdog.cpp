#include "app/service_watchdog.h"

#include "app/app_log.h"

#include <systemd/sd-daemon.h>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

namespace {

// The status line follows the show at least this often, also without a watchdog.
constexpr int kStatusMs = 1000;

}  // namespace

ServiceWatchdog::ServiceWatchdog(Probes probes, QObject* parent)
    : QObject(parent), probes_(std::move(probes)), timer_(new QTimer(this)) {
    listening_ = std::getenv("NOTIFY_SOCKET") != nullptr;
    std::uint64_t watchdogUs = 0;
    pinging_ = listening_ && sd_watchdog_enabled(0, &watchdogUs) > 0 && watchdogUs > 0;
    int intervalMs = kStatusMs;
    if (pinging_) {
        // Twice in each of the manager's intervals, so a ping late by a busy moment still counts.
        intervalMs = static_cast<int>(
            std::clamp<std::uint64_t>(watchdogUs / 2000, 1, static_cast<std::uint64_t>(kStatusMs)));
    }
    timer_->setInterval(intervalMs);
    connect(timer_, &QTimer::timeout, this, &ServiceWatchdog::tick);
    clock_.start();
}

void ServiceWatchdog::ready() {
    if (!listening_ || timer_->isActive()) {
        return;
    }
    status_ = watchdogStatusLine(probes_.state());
    sd_notifyf(0, "READY=1\nSTATUS=%s", status_.toUtf8().constData());
    timer_->start();
}

void ServiceWatchdog::tick() {
    sendStatus();
    if (!pinging_) {
        return;
    }
    if (picture_.healthy(clock_.elapsed(), probes_.picture())) {
        if (withholding_) {
            withholding_ = false;
            qCWarning(lcSync) << "the picture moves again: watchdog pings resumed";
        }
        sd_notify(0, "WATCHDOG=1");
    } else if (!withholding_) {
        withholding_ = true;
        qCWarning(lcSync).noquote() << "watchdog pings withheld:" << picture_.reason()
                                    << "- the service manager will restart the program";
    }
}

void ServiceWatchdog::sendStatus() {
    const QString status = watchdogStatusLine(probes_.state());
    if (status != status_) {
        status_ = status;
        sd_notifyf(0, "STATUS=%s", status_.toUtf8().constData());
    }
}

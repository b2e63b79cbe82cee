#include "net/host_log_budget.h"

QString HostLogBudget::summary(const QString& host, const Period& period) {
    return QStringLiteral("%1: %2 more lines in the last second, the last: %3")
        .arg(host)
        .arg(period.counted)
        .arg(period.last);
}

QStringList HostLogBudget::note(const QString& host, const QString& line, std::int64_t nowMs) {
    QStringList lines;
    Period& period = hosts_[host];
    if (period.told == 0 && period.counted == 0) {
        period.startMs = nowMs;
    } else if (nowMs - period.startMs >= PeriodMs) {
        if (period.counted > 0) {
            lines << summary(host, period);
        }
        period = Period{nowMs, 0, 0, {}};
    }
    if (period.told < Burst) {
        ++period.told;
        lines << line;
    } else {
        ++period.counted;
        period.last = line;
    }
    return lines;
}

QStringList HostLogBudget::flush(std::int64_t nowMs) {
    QStringList lines;
    for (auto it = hosts_.begin(); it != hosts_.end();) {
        Period& period = it.value();
        if (nowMs - period.startMs < PeriodMs) {
            ++it;
        } else if (period.counted > 0) {
            lines << summary(it.key(), period);
            // A flood goes on: its next second begins now.
            period = Period{nowMs, 0, 0, {}};
            ++it;
        } else {
            it = hosts_.erase(it);
        }
    }
    return lines;
}

std::optional<std::int64_t> HostLogBudget::flushDue() const {
    std::optional<std::int64_t> due;
    for (const Period& period : hosts_) {
        if (period.counted > 0 && (!due || period.startMs + PeriodMs < *due)) {
            due = period.startMs + PeriodMs;
        }
    }
    return due;
}

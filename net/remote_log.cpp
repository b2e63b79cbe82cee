#include "net/remote_log.h"

#include "app/monotonic_time.h"
#include "net/net_log.h"

#include <QTimer>

RemoteLog::RemoteLog(QObject* parent) : QObject(parent), flushTimer_(new QTimer(this)) {
    flushTimer_->setSingleShot(true);
    connect(flushTimer_, &QTimer::timeout, this, &RemoteLog::flush);
}

void RemoteLog::note(const QString& host, const QString& line) {
    if (!lcNet().isInfoEnabled())
        return;
    for (const QString& text : budget_.note(host, line, monotonicMs()))
        qCInfo(lcNet).noquote() << "remote:" << text;
    if (const auto due = budget_.flushDue(); due && !flushTimer_->isActive())
        flushTimer_->start(static_cast<int>(std::max<std::int64_t>(0, *due - monotonicMs())));
}

void RemoteLog::flush() {
    for (const QString& text : budget_.flush(monotonicMs()))
        qCInfo(lcNet).noquote() << "remote:" << text;
    if (const auto due = budget_.flushDue())
        flushTimer_->start(static_cast<int>(std::max<std::int64_t>(0, *due - monotonicMs())));
}

#include "support/log_capture.h"

#include <QLoggingCategory>

LogCapture::LogCapture(const QString& rules) : rules_(!rules.isEmpty()) {
    instance_ = this;
    previous_ = qInstallMessageHandler(&LogCapture::handle);
    if (rules_) {
        QLoggingCategory::setFilterRules(rules);
    }
}

LogCapture::~LogCapture() {
    if (rules_) {
        QLoggingCategory::setFilterRules(QString());
    }
    qInstallMessageHandler(previous_);
    instance_ = nullptr;
}

QStringList LogCapture::lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    LogCapture* capture = instance_;
    if (capture == nullptr) {
        return;
    }
    {
        const std::lock_guard lock(capture->mutex_);
        capture->lines_ << QString::fromUtf8(context.category ? context.category : "default") +
                               QStringLiteral(": ") + message;
    }
    if (capture->previous_ != nullptr) {
        capture->previous_(type, context, message);
    }
}

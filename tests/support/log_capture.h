#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <mutex>

// Records the program's log lines, "category: message", from any thread while it lives, and
// passes each on to the handler installed before. With filter rules (QLoggingCategory) it
// switches those categories on for its life, as an installer switches the event log on. One at
// a time.
class LogCapture {
public:
    explicit LogCapture(const QString& rules = QString());
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;
    // The lines that contain `text`.
    QStringList lines(const QString& text) const { return lines().filter(text); }
    bool contains(const QString& text) const { return !lines(text).isEmpty(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    static inline LogCapture* instance_ = nullptr;
    QtMessageHandler previous_ = nullptr;
    bool rules_ = false;
    mutable std::mutex mutex_;
    QStringList lines_;
};

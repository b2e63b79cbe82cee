#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <ctime>
#include <memory>

class RotatingLogFile;

// The installers' event log. It is on when Qt's own logging rules (QT_LOGGING_RULES or a
// qtlogging.ini) enable info messages of any of framelock.sync, framelock.media, framelock.net
// or framelock.serial; those categories are off below warnings by default. While it is on,
// every message of a framelock.* category is written as one line
//
//   <monotonic seconds> <local wall-clock time> <category> <message>
//
// to stderr and to the rotating file frameLock.log in the given directory (at most 1 MiB each,
// the three previous files kept as frameLock.log.1 to .3). Messages of other categories go to
// the handler that was installed before. While it is off nothing is installed and no file is
// made: a disabled category costs its check and nothing else.
//
// One instance at a time; messages may come from any thread.
class EventLog {
public:
    static constexpr qint64 MaxFileBytes = 1 << 20;
    static constexpr int KeptOldFiles = 3;

    // True when the rules switch the log on.
    static bool wanted();

    explicit EventLog(const QString& directory);
    // Puts the previous handler back.
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    bool active() const { return file_ != nullptr; }

    // One line of the log, with its line end. The monotonic time is CLOCK_MONOTONIC in seconds
    // with six decimals: comparable between processes on one machine.
    static QByteArray formatLine(const timespec& monotonic, const QDateTime& wallClock,
                                 const char* category, const QString& message);

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    std::unique_ptr<RotatingLogFile> file_;
    QtMessageHandler previous_ = nullptr;
};

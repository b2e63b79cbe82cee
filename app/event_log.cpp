#include "app/event_log.h"

#include "app/rotating_log_file.h"

#include <QLoggingCategory>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

// The categories that switch the log on; every other framelock.* category is logged beside
// them once it is on.
constexpr const char* SwitchCategories[] = {"framelock.sync", "framelock.media", "framelock.net",
                                            "framelock.serial"};

// The one installed log and the lock that serialises its lines. The handler is a plain
// function, so it finds its log here.
std::mutex installedMutex;
RotatingLogFile* installedFile = nullptr;
QtMessageHandler installedPrevious = nullptr;

bool isFrameLockCategory(const char* category) {
    return category != nullptr && qstrncmp(category, "framelock.", 10) == 0;
}

}  // namespace

bool EventLog::wanted() {
    for (const char* name : SwitchCategories) {
        // A category of the same name and default answers what Qt's rules make of that name.
        const QLoggingCategory category(name, QtWarningMsg);
        if (category.isInfoEnabled()) {
            return true;
        }
    }
    return false;
}

EventLog::EventLog(const QString& directory) {
    if (!wanted()) {
        return;
    }
    file_ = std::make_unique<RotatingLogFile>(directory + QStringLiteral("/frameLock.log"),
                                              MaxFileBytes, KeptOldFiles);
    const std::lock_guard lock(installedMutex);
    installedFile = file_.get();
    previous_ = qInstallMessageHandler(&EventLog::handle);
    installedPrevious = previous_;
}

EventLog::~EventLog() {
    if (!active()) {
        return;
    }
    qInstallMessageHandler(previous_);
    const std::lock_guard lock(installedMutex);
    installedFile = nullptr;
    installedPrevious = nullptr;
}

QByteArray EventLog::formatLine(const timespec& monotonic, const QDateTime& wallClock,
                                const char* category, const QString& message) {
    QByteArray line = QByteArray::number(static_cast<qint64>(monotonic.tv_sec));
    line += '.';
    line +=
        QByteArray::number(static_cast<qint64>(monotonic.tv_nsec / 1000)).rightJustified(6, '0');
    line += ' ';
    line += wallClock.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1();
    line += ' ';
    line += category;
    line += ' ';
    // One message, one line: a reader splits the log at line ends.
    QString text = message;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line += text.toUtf8();
    line += '\n';
    return line;
}

void EventLog::handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // Both clocks are read first, so the lock's wait is not in the times.
    timespec monotonic{};
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    const QDateTime wallClock = QDateTime::currentDateTime();
    std::unique_lock lock(installedMutex);
    if (installedFile == nullptr || !isFrameLockCategory(context.category)) {
        const QtMessageHandler previous = installedPrevious;
        lock.unlock();
        if (previous != nullptr) {
            previous(type, context, message);
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        }
        return;
    }
    const QByteArray line = formatLine(monotonic, wallClock, context.category, message);
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
    installedFile->write(line);
}

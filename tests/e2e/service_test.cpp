// What a service manager sees of the real program: readiness and the watchdog's pings through
// a listener in its place ($NOTIFY_SOCKET), a second copy started in the same directory, and a
// program directory that does not let the settings be written.
#include "e2e/show_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

constexpr double AppearsWithin = 30;
constexpr int EndsWithinMs = 10000;
// The manager's interval in the tests; the program pings twice in it.
constexpr int WatchdogMs = 2000;

// A datagram socket where systemd's would be, collecting what the program tells it.
class NotifyListener {
public:
    NotifyListener() : path_(dir_.filePath(QStringLiteral("notify"))) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path_);
        std::copy(name.begin(), name.end(), address.sun_path);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot bind the notify socket");
        }
    }
    ~NotifyListener() { ::close(fd_); }
    NotifyListener(const NotifyListener&) = delete;
    NotifyListener& operator=(const NotifyListener&) = delete;

    const QString& path() const { return path_; }
    // Every line received so far.
    const QStringList& lines() {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;) {
            lines_ += QString::fromUtf8(buffer, n).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        return lines_;
    }
    qsizetype count(const QString& line) { return lines().count(line); }
    QString lastStartingWith(const QString& prefix) {
        const QStringList& all = lines();
        for (auto it = all.crbegin(); it != all.crend(); ++it) {
            if (it->startsWith(prefix)) {
                return *it;
            }
        }
        return {};
    }

private:
    QTemporaryDir dir_;
    QString path_;
    int fd_ = -1;
    QStringList lines_;
};

const QString Ping = QStringLiteral("WATCHDOG=1");

std::string report(const ShowInstance& instance) {
    return logOf(instance).toStdString();
}

ShowSettings playingMaster(const QString& clip) {
    ShowSettings s;
    s.port = freePort();
    s.clip = clip;
    s.syncPoints = {QStringLiteral("100"), QStringLiteral("200")};
    s.autoStart = true;
    return s;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Service, PingsTheWatchdogWhilePlayingAndStopsWhenTheProcessIsFrozen) {
    const QTemporaryDir media;
    const QString clip = media.filePath(QStringLiteral("clip.avi"));
    makeClip(clip, 250);
    NotifyListener manager;
    ShowInstance show(QStringLiteral("watched Master"), playingMaster(clip));
    show.setEnvironment(QStringLiteral("NOTIFY_SOCKET"), manager.path());
    show.setEnvironment(QStringLiteral("WATCHDOG_USEC"), QString::number(WatchdogMs * 1000));
    show.start();

    ASSERT_TRUE(
        waitUntil([&] { return manager.count(QStringLiteral("READY=1")) == 1; }, AppearsWithin))
        << report(show);
    ASSERT_TRUE(show.waitFor(QStringLiteral("started frame"), 0, AppearsWithin)) << report(show);
    // Playing through segment changes, it keeps pinging.
    const qsizetype atStart = manager.count(Ping);
    EXPECT_TRUE(waitUntil([&] { return manager.count(Ping) >= atStart + 8; }, AppearsWithin))
        << report(show);
    EXPECT_TRUE(manager.lastStartingWith(QStringLiteral("STATUS="))
                    .startsWith(QStringLiteral("STATUS=Master \u00B7 segment ")))
        << manager.lines().join(QLatin1Char('|')).toStdString();

    show.signal(SIGSTOP);
    waitUntil([] { return false; }, 0.2);
    const qsizetype whenStopped = manager.count(Ping);
    // Twice the manager's interval without one ping: it would kill the instance.
    EXPECT_FALSE(
        waitUntil([&] { return manager.count(Ping) > whenStopped; }, 2.0 * WatchdogMs / 1000));
    show.signal(SIGCONT);
    EXPECT_TRUE(waitUntil([&] { return manager.count(Ping) > whenStopped; }, AppearsWithin))
        << report(show);
    EXPECT_EQ(manager.count(QStringLiteral("READY=1")), 1);
}

TEST(Service, ASecondCopyInTheSameDirectoryEndsAndLeavesTheSettingsAlone) {
    ShowSettings settings;
    settings.port = freePort();
    ShowInstance first(QStringLiteral("first copy"), settings);
    first.start();
    ASSERT_TRUE(waitUntil(
        [&] { return desktop::findWindow(first.pid(), QStringLiteral("frameLock PRO")) != 0; },
        AppearsWithin))
        << report(first);
    const QString ini = first.dir() + QStringLiteral("/frameLock.ini");
    const QByteArray settingsBefore = bytesOf(ini);
    const QByteArray logBefore = bytesOf(first.dir() + QStringLiteral("/frameLock.log"));

    // Started by a service manager: no box waits for an operator.
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("framelock.*=true"));
    environment.insert(QStringLiteral("INVOCATION_ID"), QStringLiteral("0123456789abcdef"));
    second.setProcessEnvironment(environment);
    second.start(first.dir() + QStringLiteral("/frameLock"), {});
    ASSERT_TRUE(second.waitForFinished(EndsWithinMs));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(QString::fromLocal8Bit(second.readAllStandardError())
                    .contains(QStringLiteral("already runs from ") + first.dir()));

    // From the desktop, the box says it too; the settings and the log stay as they were.
    environment.remove(QStringLiteral("INVOCATION_ID"));
    second.setProcessEnvironment(environment);
    second.start(first.dir() + QStringLiteral("/frameLock"), {});
    ASSERT_TRUE(second.waitForStarted(EndsWithinMs));
    unsigned long box = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            return (box = desktop::findWindow(second.processId(),
                                              QStringLiteral("frameLock PRO"))) != 0;
        },
        AppearsWithin));
    desktop::pressKey(box, QStringLiteral("Return"));
    ASSERT_TRUE(second.waitForFinished(EndsWithinMs));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_EQ(bytesOf(ini), settingsBefore);
    EXPECT_EQ(bytesOf(first.dir() + QStringLiteral("/frameLock.log")), logBefore);
    EXPECT_TRUE(first.running());

    // The lock goes with the first copy, however it ends.
    first.kill();
    second.start(first.dir() + QStringLiteral("/frameLock"), {});
    ASSERT_TRUE(second.waitForStarted(EndsWithinMs));
    EXPECT_TRUE(waitUntil(
        [&] {
            return desktop::findWindow(second.processId(), QStringLiteral("frameLock PRO")) != 0;
        },
        AppearsWithin));
    EXPECT_EQ(second.state(), QProcess::Running);
    second.terminate();
    EXPECT_TRUE(second.waitForFinished(EndsWithinMs));
}

TEST(Service, AProgramDirectoryOnAReadOnlyMountIsReportedAtStart) {
    ShowSettings settings;
    settings.port = freePort();
    ShowInstance show(QStringLiteral("read-only"), settings);
    // A mount namespace of its own, with the program directory bound read-only.
    show.start({QStringLiteral("unshare"), QStringLiteral("--mount"), QStringLiteral("sh"),
                QStringLiteral("-c"),
                QStringLiteral("mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && "
                               "exec \"$1\""),
                show.dir()});
    EXPECT_TRUE(waitUntil(
        [&] {
            return show.output().contains(QStringLiteral("The settings cannot be saved in ") +
                                          show.dir() + QStringLiteral(" (Read-only file system)"));
        },
        AppearsWithin))
        << report(show);
    EXPECT_TRUE(show.output().contains(QStringLiteral("sudo adduser ")));
    EXPECT_EQ(show.stop(), 0) << report(show);
}

TEST(Service, NoDisplayEndsWithItsOwnExitCodeAndOtherPlatformsStillStart) {
    ShowSettings settings;
    settings.port = freePort();
    ShowInstance show(QStringLiteral("no display"), settings);
    const QString program = show.dir() + QStringLiteral("/frameLock");
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const QString& display : {QString(), QStringLiteral(":97")}) {
        environment.remove(QStringLiteral("DISPLAY"));
        if (!display.isEmpty()) {
            environment.insert(QStringLiteral("DISPLAY"), display);
        }
        run.setProcessEnvironment(environment);
        run.start(program, {});
        ASSERT_TRUE(run.waitForFinished(EndsWithinMs));
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit) << display.toStdString();
        EXPECT_EQ(run.exitCode(), 4) << display.toStdString();
        EXPECT_TRUE(QString::fromLocal8Bit(run.readAllStandardError())
                        .startsWith(QStringLiteral("frameLock PRO: no display: ")));
    }

    // Qt's offscreen platform needs no display.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    run.setProcessEnvironment(environment);
    run.start(program, {});
    ASSERT_TRUE(run.waitForStarted(EndsWithinMs));
    EXPECT_FALSE(run.waitForFinished(2000)) << run.readAllStandardError().toStdString();
    run.terminate();
    ASSERT_TRUE(run.waitForFinished(EndsWithinMs));
    EXPECT_EQ(run.exitCode(), 0);
}

}  // namespace

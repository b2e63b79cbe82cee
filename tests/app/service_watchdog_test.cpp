#include "app/service_watchdog.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>

namespace {

// The service manager's end of $NOTIFY_SOCKET, for the time of one test.
class ManagerSocket {
public:
    ManagerSocket() {
        const QByteArray path = QFile::encodeName(dir_.filePath(QStringLiteral("notify")));
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), address.sun_path);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::setenv("NOTIFY_SOCKET", path.constData(), 1);
        // 200 ms: a ping every 100 ms.
        ::setenv("WATCHDOG_USEC", "200000", 1);
    }
    ~ManagerSocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::close(fd_);
    }
    ManagerSocket(const ManagerSocket&) = delete;
    ManagerSocket& operator=(const ManagerSocket&) = delete;

    qsizetype pings() { return received().count(QStringLiteral("WATCHDOG=1")); }
    const QStringList& received() {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;) {
            lines_ += QString::fromUtf8(buffer, n).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        return lines_;
    }

private:
    QTemporaryDir dir_;
    int fd_ = -1;
    QStringList lines_;
};

void runFor(int ms) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Runs the event loop (the watchdog's timer fires every 100 ms) until `done`.
bool runUntil(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The pings follow the picture: they stop while it stands still in play, longer than a slow
// decoder would take, and come back once it moves. A held player is never held against it.
TEST(ServiceWatchdog, WithholdsPingsWhileThePictureStandsStillInPlay) {
    ManagerSocket manager;
    PictureWatch::Sample picture{true, 0};
    ServiceWatchdog watchdog({[&] { return picture; },
                              [] {
                                  return InstanceState{true, 2, true, 1};
                              }});
    watchdog.ready();
    ASSERT_TRUE(runUntil([&] { return manager.pings() >= 3; }, 20000));
    EXPECT_EQ(manager.received().front(), QStringLiteral("READY=1"));
    EXPECT_TRUE(manager.received().contains(
        QStringLiteral("STATUS=Master \u00B7 segment 2 \u25B6 \u00B7 1 Slave")));

    // Still for longer than the stall time: the pings stop for good.
    ASSERT_TRUE(runUntil(
        [&] {
            const qsizetype before = manager.pings();
            runFor(1000);
            return manager.pings() == before;
        },
        ServiceWatchdog::StallMs * 4));
    const qsizetype stopped = manager.pings();
    // The player pauses at a Sync point on that frame: nothing wrong.
    picture.shouldAdvance = false;
    ASSERT_TRUE(runUntil([&] { return manager.pings() > stopped; }, 20000));
    // It plays again and the picture moves.
    picture = {true, 1};
    const qsizetype resumed = manager.pings();
    EXPECT_TRUE(runUntil([&] { return manager.pings() > resumed + 2; }, 20000));
}

}  // namespace

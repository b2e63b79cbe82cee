// Flood benchmark, run by hand:
//
//   net_flood [megabytes=300]
//
// A Slave (a thread of this process, plain blocking socket on loopback) streams the given amount
// at full speed into a TSimpleTCPServer. Prints the largest single OnClientRead, the number of
// reads, the longest stall of the server's event loop meanwhile (worst gap of a 1 ms timer), the
// time the flood took and the process's peak resident memory.

#include "net/simple_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

quint16 portOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void flood(quint16 port, qint64 total) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        std::perror("connect");
        std::exit(2);
    }
    const std::vector<char> block(1 << 20, 'x');
    qint64 sent = 0;
    while (sent < total) {
        const auto chunk = static_cast<std::size_t>(std::min<qint64>(total - sent, 1 << 20));
        const ssize_t n = ::send(fd, block.data(), chunk, MSG_NOSIGNAL);
        if (n <= 0) {
            std::perror("send");
            break;
        }
        sent += n;
    }
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 total = qint64{argc > 1 ? std::atoi(argv[1]) : 300} * 1024 * 1024;

    TSimpleTCPServer server;
    server.OnError = [](QObject*, qint32, qint32 code, const QString& text) {
        std::printf("error %d %s\n", code, qPrintable(text));
    };
    qint64 received = 0;
    qint64 largest = 0;
    qint64 reads = 0;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char*, qint32 length) {
        received += length;
        largest = std::max<qint64>(largest, length);
        ++reads;
    };
    server.setListen(true);
    const quint16 port = portOf(server.socketHandle());

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worstGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed() / 1000;
        worstGap = std::max(worstGap, now - last);
        last = now;
        if (received >= total) {
            app.quit();
        }
    });
    clock.start();
    ticker.start(1);
    std::thread slave(flood, port, total);
    app.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    slave.join();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "flood %lld MB: %lld reads, largest %lld bytes, worst event-loop gap %.1f ms, "
        "%.2f s, peak RSS %ld MB\n",
        static_cast<long long>(total >> 20), static_cast<long long>(reads),
        static_cast<long long>(largest), double(worstGap) / 1000.0, seconds,
        usage.ru_maxrss / 1024);
    return 0;
}

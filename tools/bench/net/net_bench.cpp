// Network transport benchmark, run by hand:
//
//   net_bench [sends=1000] [connect-rounds=20]
//
// Fan-out: the time from the Master link's send of one command (a 6-byte frame) until the last of
// N Slaves (a separate process, net_bench_slaves) has read it, for N = 1, 10, 100 (and 200), over
// `sends` commands sent one after the other. Connect-and-accept: the time from the start of 200
// simultaneous connects until the server has accepted all 200, with the longest stall of the
// server's event loop meanwhile (a 1 ms timer's worst gap). Prints medians and percentiles in
// microseconds.

#include "app/lan_master_link.h"
#include "app/sync_command.h"
#include "net/simple_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::int64_t nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

void printStats(const char* what, const std::vector<double>& microseconds) {
    std::printf("%-44s n=%-5zu median %8.1f  p95 %8.1f  p99 %8.1f  max %8.1f us\n", what,
                microseconds.size(), percentile(microseconds, 0.5), percentile(microseconds, 0.95),
                percentile(microseconds, 0.99), percentile(microseconds, 1.0));
}

// A Slaves process whose stdout is a pipe this process reads 8-byte times from.
class SlavesProcess {
public:
    explicit SlavesProcess(const std::vector<std::string>& arguments) {
        int fds[2];
        if (::pipe(fds) != 0) {
            std::perror("pipe");
            std::exit(2);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string program =
            QCoreApplication::applicationDirPath().toStdString() + "/net_bench_slaves";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            std::perror("posix_spawn");
            std::exit(2);
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~SlavesProcess() {
        ::close(out_);
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    // Blocks until the process reports a time.
    std::int64_t nextTime() const {
        std::int64_t value = 0;
        if (::read(out_, &value, sizeof(value)) != sizeof(value)) {
            std::fprintf(stderr, "slaves process ended early\n");
            std::exit(2);
        }
        return value;
    }

private:
    pid_t pid_ = 0;
    int out_ = -1;
};

quint16 listenOnAnyPort(TSimpleTCPServer& server) {
    server.setPort(0);
    server.setListen(true);
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    ::getsockname(server.socketHandle(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void waitForClients(TSimpleTCPServer& server, int count) {
    QElapsedTimer timer;
    timer.start();
    // Wakes the blocking wait below now and then, so the time limit is checked.
    QTimer wake;
    wake.start(100);
    while (server.Clients().size() < count) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (timer.elapsed() > 30000) {
            std::fprintf(stderr, "only %lld of %d Slaves connected\n",
                         static_cast<long long>(server.Clients().size()), count);
            std::exit(2);
        }
    }
}

void fanOut(LanMasterLink& link, TSimpleTCPServer& server, int slaves, int sends) {
    const quint16 port = listenOnAnyPort(server);
    constexpr int kWarmUp = 50;
    const QByteArray command = SyncCommand::play();
    const QByteArray frame = frameCommand(command);
    SlavesProcess process({"fanout", std::to_string(port), std::to_string(slaves),
                           std::to_string(kWarmUp + sends), std::to_string(frame.size())});
    waitForClients(server, slaves);
    std::vector<double> delivered;
    std::vector<double> calls;
    for (int i = 0; i < kWarmUp + sends; ++i) {
        const std::int64_t start = nowNs();
        link.send(command);
        const std::int64_t returned = nowNs();
        const std::int64_t lastRead = process.nextTime();
        if (i >= kWarmUp) {
            delivered.push_back(double(lastRead - start) / 1000.0);
            calls.push_back(double(returned - start) / 1000.0);
        }
        QCoreApplication::processEvents();
    }
    const std::string label = "fan-out N=" + std::to_string(slaves);
    printStats((label + ", send to last read").c_str(), delivered);
    printStats((label + ", send call").c_str(), calls);
    server.setListen(false);
}

void connectAndAccept(TSimpleTCPServer& server, int slaves, int rounds) {
    std::vector<double> accepted;
    std::vector<double> stalls;
    for (int round = 0; round < rounds; ++round) {
        const quint16 port = listenOnAnyPort(server);
        std::int64_t lastTick = nowNs();
        std::int64_t worstGap = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const std::int64_t now = nowNs();
            worstGap = std::max(worstGap, now - lastTick);
            lastTick = now;
        });
        ticker.start(1);
        SlavesProcess process({"connect", std::to_string(port), std::to_string(slaves)});
        const std::int64_t started = process.nextTime();
        lastTick = nowNs();
        waitForClients(server, slaves);
        const std::int64_t done = nowNs();
        ticker.stop();
        accepted.push_back(double(done - started) / 1000.0);
        stalls.push_back(double(worstGap) / 1000.0);
        server.setListen(false);
    }
    printStats(("connect-and-accept of " + std::to_string(slaves) + " Slaves").c_str(), accepted);
    printStats("  worst event-loop gap (1 ms timer) meanwhile", stalls);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int sends = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
    TSimpleTCPServer server;
    server.OnError = [](QObject*, qint32 socket, qint32 code, const QString& text) {
        std::fprintf(stderr, "server error on socket %d: %d %s\n", socket, code,
                     text.toLocal8Bit().constData());
    };
    LanMasterLink link(server);
    for (const int slaves : {1, 10, 100, 200}) {
        fanOut(link, server, slaves, sends);
    }
    connectAndAccept(server, 200, rounds);
    return 0;
}

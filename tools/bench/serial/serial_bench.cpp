// Serial port figures, run by hand:
//   serial_bench [frames] [idle-seconds]
// 1. Latency of a 6-byte frame from WriteStr on one port to OnRxChar on the other, over two
//    pseudo-terminals joined by socat (a null-modem cable in software).
// 2. Latency of the same frame written on a pseudo-terminal's master to OnRxChar on the port
//    that holds its slave (no relay process in between).
// 3. CPU time of an open, idle port over the given seconds: with a receive handler (the first
//    port of the main window) and with bytes nobody reads (the second port).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include "serial/com_port.h"

namespace {

using Clock = std::chrono::steady_clock;

const QByteArray kFrame = "_Play*";

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void report(const char* what, std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) {
        return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
    };
    std::printf("%s: n=%zu median %.1f us, p95 %.1f us, p99 %.1f us, max %.1f us\n", what,
                micros.size(), at(0.5), at(0.95), at(0.99), micros.back());
}

// Sends `frames` frames with `send` and measures until the receiving port's handler has read
// the whole frame.
template <typename Send>
std::vector<double> measure(TComPort& receiver, int frames, Send&& send) {
    std::vector<double> micros;
    QByteArray got;
    Clock::time_point start;
    QEventLoop loop;
    receiver.OnRxChar = [&](QObject*, int count) {
        QByteArray chunk;
        receiver.ReadStr(chunk, count);
        got += chunk;
        if (got.size() >= kFrame.size()) {
            micros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            loop.quit();
        }
    };
    for (int i = 0; i < frames; ++i) {
        got.clear();
        start = Clock::now();
        send();
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    receiver.OnRxChar = nullptr;
    return micros;
}

TComPort* portOn(const QString& path, TPortType type, QObject* owner) {
    auto* port = new TComPort(owner);
    TComDevicePaths paths;
    paths.SetPath(type, path);
    port->SetDevicePaths(paths);
    port->SetPort(type);
    return port;
}

// CPU time of the whole process while its event loop idles for the given seconds.
double idleCpuMs(int seconds) {
    const double before = cpuMs();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return cpuMs() - before;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    QObject owner;

    // 1. Two ports on a socat-linked pair.
    QTemporaryDir dir;
    QProcess socat;
    const QString a = dir.filePath(QStringLiteral("a"));
    const QString b = dir.filePath(QStringLiteral("b"));
    socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + a,
                                          QStringLiteral("pty,raw,echo=0,link=") + b});
    for (int i = 0; i < 250 && !(QFileInfo::exists(a) && QFileInfo::exists(b)); ++i) {
        QThread::msleep(20);
    }
    {
        TComPort* sender = portOn(a, TPortType::COM1, &owner);
        TComPort* receiver = portOn(b, TPortType::COM2, &owner);
        sender->Open();
        receiver->Open();
        report("WriteStr -> OnRxChar, socat-linked pty pair",
               measure(*receiver, frames, [&] { sender->WriteStr(kFrame); }));
        delete sender;
        delete receiver;
    }
    socat.terminate();
    socat.waitForFinished(3000);

    // 2. Master write to the port on the slave.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    TComPort* port = portOn(QString::fromLocal8Bit(name), TPortType::COM1, &owner);
    port->Open();
    report("pty master write -> OnRxChar", measure(*port, frames, [&] {
               [[maybe_unused]] const auto n = ::write(master, kFrame.constData(), 6);
           }));

    // 3. Idle CPU time.
    port->OnRxChar = [port](QObject*, int count) {
        QByteArray str;
        port->ReadStr(str, count);
    };
    std::printf("idle open port with receive handler: %.1f ms CPU in %d s\n",
                idleCpuMs(idleSeconds), idleSeconds);
    port->OnRxChar = nullptr;
    [[maybe_unused]] const auto n = ::write(master, "unread", 6);
    QThread::msleep(100);
    std::printf("idle open port with 6 unread bytes, no handler: %.1f ms CPU in %d s\n",
                idleCpuMs(idleSeconds), idleSeconds);
    delete port;
    ::close(master);
    ::close(slave);
    return 0;
}

#include "cuttable_link.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>
#include <QProcess>
#include <QStringList>
#include <thread>

namespace {

// Runs `ip` with the arguments; empty on success, else what it said.
QString ip(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), arguments);
    if (!process.waitForFinished(10000)) {
        return QStringLiteral("ip %1: %2").arg(arguments.join(' '), process.errorString());
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return QStringLiteral("ip %1: %2")
            .arg(arguments.join(' '), QString::fromLocal8Bit(process.readAll()).trimmed());
    }
    return {};
}

}  // namespace

CuttableLink::CuttableLink() {
    const auto pid = static_cast<unsigned>(::getpid());
    const QString tag = QString::number(pid % 100000);
    namespace_ = QStringLiteral("flpeer") + tag;
    hostInterface_ = QStringLiteral("flh") + tag;
    peerInterface_ = QStringLiteral("flp") + tag;
    subnet_ = static_cast<int>(pid % 250) + 1;
    if (::geteuid() != 0) {
        failure_ = QStringLiteral("needs root to make a network namespace and a veth pair");
        return;
    }
    const QString peerCidr = peerAddress() + QStringLiteral("/24");
    const QString hostCidr = hostAddress() + QStringLiteral("/24");
    const QList<QStringList> steps = {
        {"netns", "add", namespace_},
        {"link", "add", hostInterface_, "type", "veth", "peer", "name", peerInterface_},
        {"link", "set", peerInterface_, "netns", namespace_},
        {"addr", "add", hostCidr, "dev", hostInterface_},
        {"link", "set", hostInterface_, "up"},
        {"netns", "exec", namespace_, "ip", "addr", "add", peerCidr, "dev", peerInterface_},
        {"netns", "exec", namespace_, "ip", "link", "set", peerInterface_, "up"},
    };
    for (const QStringList& step : steps) {
        failure_ = ip(step);
        if (!failure_.isEmpty()) {
            return;
        }
    }
}

CuttableLink::~CuttableLink() {
    if (::geteuid() != 0) {
        return;
    }
    ip({"netns", "del", namespace_});
    ip({"link", "del", hostInterface_});
}

QString CuttableLink::hostAddress() const {
    return QStringLiteral("10.77.%1.1").arg(subnet_);
}

QString CuttableLink::peerAddress() const {
    return QStringLiteral("10.77.%1.2").arg(subnet_);
}

int CuttableLink::inPeer(const std::function<int()>& action) const {
    const QByteArray path = QStringLiteral("/run/netns/%1").arg(namespace_).toLocal8Bit();
    int result = -1;
    std::thread peer([&] {
        const int ns = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (ns < 0) {
            return;
        }
        // Only this thread moves; it ends right after.
        if (::setns(ns, CLONE_NEWNET) == 0) {
            result = action();
        }
        ::close(ns);
    });
    peer.join();
    return result;
}

void CuttableLink::cut() {
    ip({"netns", "exec", namespace_, "ip", "link", "set", peerInterface_, "down"});
}

#include "pty_pair.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    closeMaster();
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

void PtyPair::writeMaster(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done,
                                  static_cast<std::size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else {
            pollfd fd{master_, POLLOUT, 0};
            ::poll(&fd, 1, 100);
        }
    }
}

QByteArray PtyPair::readMaster(int count, int timeoutMs) {
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (out.size() < count && clock.elapsed() < timeoutMs) {
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, n);
            }
        }
    }
    return out;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

NullModem::NullModem() {
    if (!dir_.isValid()) {
        return;
    }
    socat_.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + pathA(),
                                           QStringLiteral("pty,raw,echo=0,link=") + pathB()});
    if (!socat_.waitForStarted(5000)) {
        return;
    }
    for (int i = 0; i < 250 && !ok_; ++i) {
        ok_ = QFileInfo::exists(pathA()) && QFileInfo::exists(pathB());
        if (!ok_) {
            QThread::msleep(20);
        }
    }
}

NullModem::~NullModem() {
    if (socat_.state() != QProcess::NotRunning) {
        socat_.terminate();
        if (!socat_.waitForFinished(3000)) {
            socat_.kill();
            socat_.waitForFinished(3000);
        }
    }
}

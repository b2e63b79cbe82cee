#include "storage/instance_lock.h"

#include "storage/storage_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace {

int openLockTarget(const QString& directory) {
    const QByteArray dir = QFile::encodeName(QDir(directory).absolutePath());
    const QByteArray file = dir + "/frameLock.lock";
    // Close-on-exec: a help browser started from the program must not keep the lock alive.
    int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0) {
        fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    return fd;
}

}  // namespace

InstanceLock::InstanceLock(const QString& directory) : fd_(openLockTarget(directory)) {
    if (fd_ < 0) {
        qCWarning(lcStorage).noquote()
            << "cannot lock" << directory << "against a second copy:" << std::strerror(errno);
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        acquired_ = errno != EWOULDBLOCK;
        if (acquired_) {
            qCWarning(lcStorage).noquote()
                << "cannot lock" << directory << "against a second copy:" << std::strerror(errno);
        }
    }
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

#include "storage/profile_file.h"
#include "storage/storage_log.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {}

ProfileDocument readProfileFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists()) {
            qCWarning(lcStorage) << "cannot read" << path << file.errorString();
        }
        return {};
    }
    return ProfileDocument::parse(file.readAll());
}

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes the descriptor on every path out; a close that fails is reported by close().
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Some file systems report a failed write-back only here.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Unbuffered, so that every refused byte (ENOSPC, EFBIG, EIO) is seen here and not in a flush
// whose result nobody reads.
bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Without it a crash soon after the rename can bring back the old file, or none.
bool syncDirectory(const QByteArray& directory) {
    Descriptor fd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    // EINVAL: a file system that cannot sync directories, where there is nothing more to do.
    return ::fsync(fd.get()) == 0 || errno == EINVAL;
}

// Opens a new file beside path for writing, under a name no other writer uses; -1 on failure.
int createTemporary(const QByteArray& path, QByteArray* name) {
    for (int attempt = 0;; ++attempt) {
        *name = path + ".tmp-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt);
        const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt >= 100) {
            return fd;
        }
    }
}

bool replaceFile(const QByteArray& path, const QByteArray& bytes, QString* reason) {
    QByteArray temporary;
    Descriptor fd(createTemporary(path, &temporary));
    if (!fd.valid()) {
        *reason = systemError(errno);
        return false;
    }
    struct stat old {};
    bool written =
        (::stat(path.constData(), &old) != 0 || ::fchmod(fd.get(), old.st_mode & 07777) == 0) &&
        writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.close();
    if (written) {
        written = ::rename(temporary.constData(), path.constData()) == 0;
    }
    if (!written) {
        *reason = systemError(errno);
        ::unlink(temporary.constData());
        return false;
    }
    if (!syncDirectory(QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath()))) {
        *reason = systemError(errno);
        return false;
    }
    return true;
}

bool directoryRefusesNewFiles(const QString& path) {
    const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(directory.constData(), W_OK) != 0;
}

bool writeInPlace(const QByteArray& path, const QByteArray& bytes, QString* reason) {
    Descriptor fd(::open(path.constData(), O_WRONLY | O_CLOEXEC));
    // The room is taken before anything is overwritten, so a full disk refuses the write while
    // the old text is still whole. A file system that cannot reserve room goes on without.
    const bool reserved =
        fd.valid() &&
        (bytes.isEmpty() || ::fallocate(fd.get(), 0, 0, bytes.size()) == 0 || errno == EOPNOTSUPP);
    // Written first and cut to length afterwards: nothing is truncated before the new text is on
    // its way.
    const bool written = reserved && writeAll(fd.get(), bytes) &&
                         ::ftruncate(fd.get(), bytes.size()) == 0 && ::fsync(fd.get()) == 0 &&
                         fd.close();
    if (!written) {
        *reason = systemError(errno);
    }
    return written;
}

}  // namespace

bool writeProfileFile(const QString& path, const ProfileDocument& document, QString* error) {
    const QByteArray bytes = document.serialize();
    // A link is followed, so that the file it leads to is replaced, not the link.
    const QFileInfo info(path);
    const QString target = info.exists() ? info.canonicalFilePath() : path;
    const QByteArray name = QFile::encodeName(target);
    QString reason;
    bool written = replaceFile(name, bytes, &reason);
    if (!written && directoryRefusesNewFiles(target) && QFileInfo(target).isFile()) {
        written = writeInPlace(name, bytes, &reason);
    }
    if (!written) {
        if (error) {
            *error = reason;
        }
        qCWarning(lcStorage) << "cannot write" << path << reason;
    }
    return written;
}

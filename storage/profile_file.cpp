#include "storage/profile_file.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>

#include <unistd.h>

namespace {
Q_LOGGING_CATEGORY(lcProfile, "framelock.storage", QtInfoMsg)
}

ProfileDocument readProfileFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists()) {
            qCWarning(lcProfile) << "cannot read" << path << file.errorString();
        }
        return {};
    }
    return ProfileDocument::parse(file.readAll());
}

namespace {

bool directoryRefusesNewFiles(const QString& path) {
    const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(directory.constData(), W_OK) != 0;
}

bool writeInPlace(const QString& path, const QByteArray& bytes, QString* reason) {
    QFile file(path);
    // Written first and cut to length afterwards: a refused write leaves the old length, and
    // nothing is truncated before the new text is on its way.
    const bool written = file.open(QIODevice::ReadWrite) && file.write(bytes) == bytes.size() &&
                         file.resize(bytes.size()) && file.flush() && ::fsync(file.handle()) == 0;
    if (!written) {
        *reason = file.errorString();
    }
    return written;
}

}  // namespace

bool writeProfileFile(const QString& path, const ProfileDocument& document, QString* error) {
    const QByteArray bytes = document.serialize();
    QSaveFile file(path);
    QString reason;
    bool written = false;
    if (file.open(QIODevice::WriteOnly)) {
        written = file.write(bytes) == bytes.size() && file.commit();
        reason = file.errorString();
    } else if (directoryRefusesNewFiles(path) && QFileInfo(path).isFile()) {
        written = writeInPlace(path, bytes, &reason);
    } else {
        reason = file.errorString();
    }
    if (!written) {
        if (error) {
            *error = reason;
        }
        qCWarning(lcProfile) << "cannot write" << path << reason;
    }
    return written;
}

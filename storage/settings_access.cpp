#include "storage/settings_access.h"

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

std::optional<QString> settingsWriteProblem(const QString& path) {
    const QFileInfo info(path);
    const QString target = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    const QFileInfo file(target);
    if (file.isDir()) {
        return QString::fromLocal8Bit(std::strerror(EISDIR));
    }
    const QByteArray directory = QFile::encodeName(file.absolutePath());
    if (::access(directory.constData(), W_OK | X_OK) == 0) {
        return std::nullopt;
    }
    const int refused = errno;
    if (file.exists() && ::access(QFile::encodeName(target).constData(), W_OK) == 0) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(std::strerror(refused));
}

#include "storage/profile_file.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>

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

bool writeProfileFile(const QString& path, const ProfileDocument& document, QString* error) {
    QSaveFile file(path);
    const QByteArray bytes = document.serialize();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        qCWarning(lcProfile) << "cannot write" << path << file.errorString();
        return false;
    }
    return true;
}

#include "media/file_stamp.h"

#include <QDateTime>
#include <QFileInfo>

QString fileStamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {};
    }
    return QStringLiteral("%1 %2 %3")
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(info.metadataChangeTime().toMSecsSinceEpoch());
}

#include "serial/com_device_paths.h"

namespace {

std::size_t Index(TPortType port) {
    return static_cast<std::size_t>(port);
}

}  // namespace

QString ComDeviceName(TPortType port) {
    return QStringLiteral("COM%1").arg(Index(port) + 1);
}

QString TComDevicePaths::PathFor(TPortType port) const {
    const QString& mapped = paths_.at(Index(port));
    if (!mapped.isEmpty()) {
        return mapped;
    }
    return QStringLiteral("/dev/ttyS%1").arg(Index(port));
}

void TComDevicePaths::SetPath(TPortType port, const QString& path) {
    paths_.at(Index(port)) = path.trimmed();
}

bool TComDevicePaths::SetPath(const QString& deviceName, const QString& path) {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        const auto port = static_cast<TPortType>(i);
        if (deviceName.trimmed().compare(ComDeviceName(port), Qt::CaseInsensitive) == 0) {
            SetPath(port, path);
            return true;
        }
    }
    return false;
}

void TComDevicePaths::Clear() {
    paths_ = {};
}

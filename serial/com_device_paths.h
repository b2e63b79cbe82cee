#pragma once

#include <QString>
#include <array>

#include "serial/com_types.h"

// Maps the port names "COM1" to "COM8" to Linux device paths. The main window fills it from the
// optional section "Ports" of the settings file (keys "COM1" … "COM8", values such as
// "/dev/ttyUSB0"); a port without an entry is the on-board UART /dev/ttyS(n-1).
class TComDevicePaths {
public:
    QString PathFor(TPortType port) const;

    void SetPath(TPortType port, const QString& path);
    // Accepts a key as stored ("COM1" … "COM8", any letter case); returns false and changes
    // nothing for any other key. An empty or blank path removes the entry.
    bool SetPath(const QString& deviceName, const QString& path);
    void Clear();

    friend bool operator==(const TComDevicePaths&, const TComDevicePaths&) = default;

private:
    std::array<QString, 8> paths_;
};

// "COM1" … "COM8" for a port number.
QString ComDeviceName(TPortType port);

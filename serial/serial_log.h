#pragma once

#include <QLoggingCategory>

// The serial ports: opening, losing and reopening a device, line errors; part of the installers'
// event log, off below warnings by default.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)

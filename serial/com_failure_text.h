#pragma once

#include "storage/wording.h"

#include <QString>

class EComPort;

// What the operator reads when a serial port fails: the device and what the failure means on
// Linux, with the remedy where there is one ("/dev/ttyUSB0: permission denied: add the user to
// the group dialout"). English unless a wording is given.
QString ComFailureText(const EComPort& failure, const QString& devicePath,
                       const Wording& say = Wording());

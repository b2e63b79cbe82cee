#include "serial/serial_log.h"

Q_LOGGING_CATEGORY(lcSerial, "framelock.serial", QtWarningMsg)

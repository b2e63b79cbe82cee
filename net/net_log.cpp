#include "net/net_log.h"

Q_LOGGING_CATEGORY(lcNet, "framelock.net", QtWarningMsg)

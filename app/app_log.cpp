#include "app/app_log.h"

// Off below warnings: the installers' event log switches them on (app/event_log.h).
Q_LOGGING_CATEGORY(lcSync, "framelock.sync", QtWarningMsg)

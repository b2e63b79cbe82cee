#include "app/app_log.h"

Q_LOGGING_CATEGORY(lcSync, "framelock.sync", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLink, "framelock.net", QtInfoMsg)

#include "storage/storage_log.h"

Q_LOGGING_CATEGORY(lcStorage, "framelock.storage", QtWarningMsg)

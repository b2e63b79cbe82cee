#include "widgets/widgets_log.h"

Q_LOGGING_CATEGORY(lcWidgets, "framelock.widgets", QtWarningMsg)

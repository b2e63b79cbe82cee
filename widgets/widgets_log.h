#pragma once

#include <QLoggingCategory>

// The widgets and small windows; off below warnings by default, like every framelock.* category.
Q_DECLARE_LOGGING_CATEGORY(lcWidgets)

#pragma once

#include <QLoggingCategory>

// The settings file, the window's saved place and the language files: what was refused, kept or
// could not be written. Off below warnings by default, like every framelock.* category.
Q_DECLARE_LOGGING_CATEGORY(lcStorage)

#pragma once

#include <QLoggingCategory>

// What the media player opens and shows; part of the installers' event log, off by default.
Q_DECLARE_LOGGING_CATEGORY(lcMedia)

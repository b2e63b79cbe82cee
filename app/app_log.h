#pragma once

#include <QLoggingCategory>

// What the controller does with commands and segments.
Q_DECLARE_LOGGING_CATEGORY(lcSync)
// How the controller opens, loses and reopens its links.
Q_DECLARE_LOGGING_CATEGORY(lcLink)

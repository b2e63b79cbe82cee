#pragma once

#include <QLoggingCategory>

// What the controller does with commands and segments; part of the installers' event log, off
// below warnings by default. How the controller opens, loses and reopens its links is logged
// under the network's category (net/net_log.h).
Q_DECLARE_LOGGING_CATEGORY(lcSync)

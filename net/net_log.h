#pragma once

#include <QLoggingCategory>

// Developer diagnostics of the TCP transport; what the operator sees goes through OnError.
Q_DECLARE_LOGGING_CATEGORY(lcNet)

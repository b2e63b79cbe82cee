#pragma once

#include <QLoggingCategory>

// The TCP links: the transport's own diagnostics and how the controller opens, loses and reopens
// its links; part of the installers' event log, off below warnings by default. What the operator
// sees goes through OnError.
Q_DECLARE_LOGGING_CATEGORY(lcNet)

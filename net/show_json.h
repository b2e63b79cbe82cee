#pragma once

#include "app/operator_table.h"
#include "app/show_status.h"

#include <QJsonObject>

// The show as the remote surfaces send it: every field of the snapshot, each screen with its
// health in words, and the operations with whether each may run now. An unknown value (no
// segment yet, never heard from) is null, not left out, so that a client sees every field.
QJsonObject screenJson(const ScreenStatus& screen);
QJsonObject showJson(const ShowSnapshot& show, const OperatorTable& operators,
                     const QString& language);
QString operatorArgumentName(OperatorArgument argument);

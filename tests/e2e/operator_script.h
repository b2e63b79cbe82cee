#pragma once

#include "app/operator_table.h"

#include <QString>

// An operator surface in its smallest form: a line of text per operation, "name" or
// "name argument", run through the operator table. Each line is answered "ok" or with why it
// was not done, as a remote surface would answer its caller.
class OperatorScript {
public:
    explicit OperatorScript(const OperatorTable& operators) : operators_(operators) {}

    QString run(const QString& line) const;

private:
    const OperatorTable& operators_;
};

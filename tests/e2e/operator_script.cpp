#include "e2e/operator_script.h"

#include <optional>

QString OperatorScript::run(const QString& line) const {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > 2) {
        return QStringLiteral("a line is a name and at most one argument");
    }
    std::optional<std::int64_t> argument;
    if (words.size() == 2) {
        bool number = false;
        argument = words[1].toLongLong(&number);
        if (!number) {
            return QStringLiteral("the argument is no number");
        }
    }
    const OperatorTable::Result result = operators_.run(words[0], argument);
    return result.done() ? QStringLiteral("ok") : result.reason;
}

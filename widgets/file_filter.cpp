#include "widgets/dialog_service.h"

#include <QStringList>

QString qtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" is the Windows way to say every file; on Linux names need no dot.
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        entries << QStringLiteral("%1 (%2)").arg(description.section(QLatin1String(" ("), 0, 0),
                                                 patterns);
    }
    return entries.join(QStringLiteral(";;"));
}

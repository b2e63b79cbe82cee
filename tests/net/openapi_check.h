#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

// Where a JSON value departs from a schema of an OpenAPI 3.0 document: type (nullable too),
// required properties, properties, items, enum and $ref into the document. Empty: it fits.
QStringList schemaViolations(const QJsonValue& value, const QJsonObject& schema,
                             const QJsonObject& document,
                             const QString& where = QStringLiteral("$"));

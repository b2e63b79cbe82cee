#include "openapi_check.h"

#include <QJsonArray>
#include <cmath>

namespace {

QJsonObject resolve(const QJsonObject& schema, const QJsonObject& document) {
    const QString ref = schema.value(QStringLiteral("$ref")).toString();
    if (ref.isEmpty())
        return schema;
    QJsonValue node = document;
    for (const QString& part : ref.sliced(2).split(QLatin1Char('/')))
        node = node.toObject().value(part);
    return node.toObject();
}

bool fitsType(const QJsonValue& value, const QString& type) {
    if (type == QLatin1String("object"))
        return value.isObject();
    if (type == QLatin1String("array"))
        return value.isArray();
    if (type == QLatin1String("string"))
        return value.isString();
    if (type == QLatin1String("boolean"))
        return value.isBool();
    if (type == QLatin1String("integer"))
        return value.isDouble() && std::trunc(value.toDouble()) == value.toDouble();
    if (type == QLatin1String("number"))
        return value.isDouble();
    return false;
}

}  // namespace

QStringList schemaViolations(const QJsonValue& value, const QJsonObject& given,
                             const QJsonObject& document, const QString& where) {
    const QJsonObject schema = resolve(given, document);
    if (schema.isEmpty())
        return {where + QStringLiteral(": schema not found")};
    if (value.isNull())
        return schema.value(QStringLiteral("nullable")).toBool()
                   ? QStringList()
                   : QStringList{where + QStringLiteral(": null")};
    const QString type = schema.value(QStringLiteral("type")).toString();
    if (!type.isEmpty() && !fitsType(value, type))
        return {where + QStringLiteral(": not ") + type};
    QStringList violations;
    if (schema.contains(QStringLiteral("enum")) &&
        !schema.value(QStringLiteral("enum")).toArray().contains(value))
        violations << where + QStringLiteral(": not one of its enum");
    const QJsonObject properties = schema.value(QStringLiteral("properties")).toObject();
    for (const QJsonValue name : schema.value(QStringLiteral("required")).toArray()) {
        if (!value.toObject().contains(name.toString()))
            violations << where + QStringLiteral(".") + name.toString() +
                              QStringLiteral(": missing");
    }
    // Every field sent must be described.
    if (value.isObject() && !properties.isEmpty()) {
        for (const QString& key : value.toObject().keys()) {
            if (!properties.contains(key))
                violations << where + QLatin1Char('.') + key + QStringLiteral(": undocumented");
        }
    }
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        if (value.toObject().contains(it.key()))
            violations << schemaViolations(value.toObject().value(it.key()), it.value().toObject(),
                                           document, where + QLatin1Char('.') + it.key());
    }
    if (value.isArray()) {
        const QJsonObject items = schema.value(QStringLiteral("items")).toObject();
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            violations << schemaViolations(array[i], items, document,
                                           where + QStringLiteral("[%1]").arg(i));
    }
    return violations;
}

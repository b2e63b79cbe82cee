#include "net/show_json.h"

#include <QJsonArray>

namespace {

template <typename T>
QJsonValue optionalJson(const std::optional<T>& value) {
    return value ? QJsonValue(static_cast<qint64>(*value)) : QJsonValue(QJsonValue::Null);
}

}  // namespace

QString operatorArgumentName(OperatorArgument argument) {
    switch (argument) {
        case OperatorArgument::None:
            return QStringLiteral("none");
        case OperatorArgument::Segment:
            return QStringLiteral("segment");
        case OperatorArgument::Frame:
            return QStringLiteral("frame");
        case OperatorArgument::Steps:
            return QStringLiteral("steps");
        case OperatorArgument::OnOff:
            return QStringLiteral("onoff");
        case OperatorArgument::Language:
            return QStringLiteral("language");
    }
    return {};
}

QJsonObject screenJson(const ScreenStatus& screen) {
    QJsonArray late;
    for (std::int64_t ms : screen.lateMs)
        late.append(static_cast<qint64>(ms));
    return {
        {QStringLiteral("id"), screen.id},
        {QStringLiteral("master"), screen.master},
        {QStringLiteral("name"), screen.name},
        {QStringLiteral("address"), screen.address},
        {QStringLiteral("health"), screenHealthName(screen.health)},
        {QStringLiteral("state"), screen.state},
        {QStringLiteral("segment"), optionalJson(screen.segment)},
        {QStringLiteral("startFrame"), optionalJson(screen.startFrame)},
        {QStringLiteral("shownFrame"), optionalJson(screen.shownFrame)},
        {QStringLiteral("lateMs"), late},
        {QStringLiteral("lastHeardMs"), optionalJson(screen.lastHeardMs)},
        {QStringLiteral("fileName"), screen.fileName},
        {QStringLiteral("problems"), QJsonArray::fromStringList(screen.problems)},
    };
}

QJsonObject showJson(const ShowSnapshot& show, const OperatorTable& operators,
                     const QString& language) {
    QJsonArray syncPoints;
    for (std::int32_t point : show.syncPoints)
        syncPoints.append(point);
    QJsonArray screens;
    for (const ScreenStatus& screen : show.screens)
        screens.append(screenJson(screen));
    QJsonArray operations;
    for (const OperatorTable::Entry& entry : operators.entries()) {
        operations.append(QJsonObject{
            {QStringLiteral("name"), entry.name},
            {QStringLiteral("argument"), operatorArgumentName(entry.argument)},
            {QStringLiteral("allowed"), operators.allowed(entry.name)},
        });
    }
    return {
        {QStringLiteral("showName"), show.showName},
        {QStringLiteral("language"), language},
        {QStringLiteral("master"), show.master},
        {QStringLiteral("lan"), show.lan},
        {QStringLiteral("running"), show.running},
        {QStringLiteral("loop"), show.loop},
        {QStringLiteral("fullScreen"), show.fullScreen},
        {QStringLiteral("locked"), show.locked},
        {QStringLiteral("segment"), optionalJson(show.segment)},
        {QStringLiteral("inPoint"), show.inPoint},
        {QStringLiteral("syncPoints"), syncPoints},
        {QStringLiteral("screens"), screens},
        {QStringLiteral("operations"), operations},
    };
}

#include "app/show_status.h"

const ScreenStatus* ShowSnapshot::screen(const QString& id) const {
    for (const ScreenStatus& screen : screens)
        if (screen.id == id)
            return &screen;
    return nullptr;
}

QString screenHealthName(ScreenHealth health) {
    switch (health) {
        case ScreenHealth::Ok:
            return QStringLiteral("ok");
        case ScreenHealth::Starting:
            return QStringLiteral("starting");
        case ScreenHealth::NotResponding:
            return QStringLiteral("not responding");
        case ScreenHealth::Frozen:
            return QStringLiteral("frozen");
        case ScreenHealth::Failing:
            return QStringLiteral("failing");
        case ScreenHealth::Gone:
            return QStringLiteral("gone");
    }
    return {};
}

void ShowStatusModel::setSnapshot(ShowSnapshot snapshot) {
    if (snapshot == snapshot_)
        return;
    snapshot_ = std::move(snapshot);
    emit changed();
}

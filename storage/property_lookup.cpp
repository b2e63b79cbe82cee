#include "storage/property_lookup.h"

#include <QMetaObject>
#include <QObject>
#include <array>

namespace {

struct Alias {
    const char* name;
    const char* qtClass;
    const char* qtProperty;
};

constexpr std::array<Alias, 9> kAliases = {{
    {"Caption", "QAbstractButton", "text"},
    {"Caption", "QLabel", "text"},
    {"Caption", "QGroupBox", "title"},
    {"Caption", "QWidget", "windowTitle"},
    {"Hint", "QWidget", "toolTip"},
    {"Down", "QAbstractButton", "checked"},
    {"Position", "QAbstractSlider", "value"},
    {"ItemIndex", "QComboBox", "currentIndex"},
    {"ItemIndex", "QListWidget", "currentRow"},
}};

bool declaredByQt(const QMetaProperty& property) {
    const QMetaObject* owner = property.enclosingMetaObject();
    const char* cls = owner ? owner->className() : "";
    return cls[0] == 'Q' && cls[1] >= 'A' && cls[1] <= 'Z';
}

QString pascalName(const QMetaProperty& property) {
    QString name = QString::fromLatin1(property.name());
    if (declaredByQt(property) && !name.isEmpty()) {
        name[0] = name[0].toUpper();
    }
    return name;
}

}  // namespace

std::optional<PropertyRef> findProperty(const QObject* object, QStringView name) {
    if (!object || name.isEmpty()) {
        return std::nullopt;
    }
    const QMetaObject* meta = object->metaObject();
    const int exact = meta->indexOfProperty(name.toLatin1().constData());
    if (exact >= 0) {
        const QMetaProperty property = meta->property(exact);
        return PropertyRef{property, pascalName(property)};
    }
    for (const Alias& alias : kAliases) {
        if (name.compare(QLatin1String(alias.name), Qt::CaseInsensitive) != 0 ||
            !object->inherits(alias.qtClass)) {
            continue;
        }
        const int index = meta->indexOfProperty(alias.qtProperty);
        if (index >= 0) {
            return PropertyRef{meta->property(index), QString::fromLatin1(alias.name)};
        }
    }
    std::optional<PropertyRef> found;
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QLatin1String candidate(property.name());
        if (name.compare(candidate, Qt::CaseInsensitive) != 0) {
            continue;
        }
        // Of several spellings, the alphabetically first one counts, as in a sorted list.
        if (!found || QLatin1String(found->property.name()) > candidate) {
            found = PropertyRef{property, pascalName(property)};
        }
    }
    return found;
}

QObject* findOwnedComponent(const QObject* form, QStringView name) {
    if (!form || name.isEmpty()) {
        return nullptr;
    }
    const QList<QObject*> owned = form->findChildren<QObject*>();
    for (QObject* component : owned) {
        if (component->objectName().compare(name, Qt::CaseInsensitive) == 0) {
            return component;
        }
    }
    return nullptr;
}

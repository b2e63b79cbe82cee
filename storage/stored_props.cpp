#include "storage/stored_props.h"

#include "storage/property_lookup.h"
#include "storage/props_storage.h"
#include "storage/windows1252.h"

#include <QObject>
#include <algorithm>

namespace {

struct Parts {
    QString component;
    QString property;
};

Parts split(const QString& entry) {
    const qsizetype dot = entry.indexOf(u'.');
    if (dot < 0) {
        return {};
    }
    return {entry.first(dot).trimmed(), entry.sliced(dot + 1).trimmed()};
}

}  // namespace

QByteArray protectQuotes(QByteArrayView text) {
    if (!text.isEmpty() && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return '"' + text.toByteArray() + '"';
    }
    return text.toByteArray();
}

void StoredPropsList::setEntries(const QStringList& entries) {
    entries_.clear();
    for (const QString& text : entries) {
        entries_.push_back({text, nullptr});
    }
    resolved_ = false;
}

QStringList StoredPropsList::entries() const {
    QStringList texts;
    for (const Entry& entry : entries_) {
        if (!resolved_ || entry.component) {
            texts.append(entry.text);
        }
    }
    return texts;
}

void StoredPropsList::resolve(const QObject* form) {
    for (Entry& entry : entries_) {
        const Parts parts = split(entry.text);
        entry.component = parts.component.isEmpty() || parts.property.isEmpty()
                              ? nullptr
                              : findOwnedComponent(form, parts.component);
    }
    std::erase_if(entries_, [](const Entry& entry) { return entry.component.isNull(); });
    resolved_ = true;
}

template <typename Pass>
void StoredPropsList::forEachProperty(Pass&& pass) {
    if (!resolved_) {
        return;
    }
    std::erase_if(entries_, [](const Entry& entry) { return entry.component.isNull(); });
    for (const Entry& entry : entries_) {
        const Parts parts = split(entry.text);
        QObject* component = entry.component;
        if (!component || parts.component.isEmpty() || parts.property.isEmpty()) {
            continue;
        }
        const std::optional<PropertyRef> ref = findProperty(component, parts.property);
        if (ref) {
            pass(component, encodeWindows1252(component->objectName()) + '_', *ref);
        }
    }
}

void StoredPropsList::load(const ProfileDocument& document, const QByteArray& section) {
    forEachProperty([&](QObject* component, const QByteArray& prefix, const PropertyRef& ref) {
        TPropsStorage storage{component,
                              prefix,
                              section,
                              [&](const QByteArray& s, const QByteArray& k, const QByteArray& d) {
                                  return document.readString(s, k, d);
                              },
                              {},
                              {},
                              [&](const QByteArray& s) { return document.allKeys(s); }};
        storage.LoadProperty(ref);
    });
}

void StoredPropsList::save(ProfileDocument& document, const QByteArray& section) {
    forEachProperty([&](QObject* component, const QByteArray& prefix, const PropertyRef& ref) {
        TPropsStorage storage{component,
                              prefix,
                              section,
                              [&](const QByteArray& s, const QByteArray& k, const QByteArray& d) {
                                  return document.readString(s, k, d);
                              },
                              [&](const QByteArray& s, const QByteArray& k, const QByteArray& v) {
                                  document.writeString(s, k, protectQuotes(v));
                              },
                              [&](const QByteArray& s) { document.eraseSection(s); },
                              [&](const QByteArray& s) { return document.allKeys(s); }};
        storage.StoreProperty(ref);
    });
}

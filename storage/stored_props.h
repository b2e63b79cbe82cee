#pragma once

#include "storage/profile_document.h"

#include <QByteArray>
#include <QPointer>
#include <QStringList>
#include <vector>

class QObject;

// The properties a form keeps in its settings file: entries "Component.Property", loaded and
// saved in list order. Each entry is tied to its component when the list is resolved against
// the form; entries whose component is later destroyed are dropped.
class StoredPropsList {
public:
    void setEntries(const QStringList& entries);
    QStringList entries() const;

    // Keeps only the entries with both parts non-empty that name a component the form owns
    // (names compared without regard to case). Runs once the form has all its components.
    void resolve(const QObject* form);
    bool isResolved() const { return resolved_; }

    // A key missing from the section leaves its property as it is.
    void load(const ProfileDocument& document, const QByteArray& section);
    void save(ProfileDocument& document, const QByteArray& section);

private:
    struct Entry {
        QString text;
        QPointer<QObject> component;
    };
    template <typename Pass>
    void forEachProperty(Pass&& pass);

    std::vector<Entry> entries_;
    bool resolved_ = false;
};

// A text whose first and last characters are both double quotes, or both single quotes, gets
// one more pair of double quotes, since reading removes one pair.
QByteArray protectQuotes(QByteArrayView text);

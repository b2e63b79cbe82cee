#pragma once

#include <QListWidget>
#include <QStringList>

// A list box whose whole item list is one property, so that the settings file can store and
// restore it by name. User-interface thread only.
class TListBox : public QListWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems NOTIFY ItemsChanged)

public:
    explicit TListBox(QWidget* parent = nullptr);

    QStringList Items() const;
    // Replaces every item; the selection goes with the old items. The same list changes nothing.
    void setItems(const QStringList& items);

signals:
    void ItemsChanged();
};

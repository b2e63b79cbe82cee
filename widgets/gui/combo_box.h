#pragma once

#include <QComboBox>
#include <QStringList>

// A drop-down list whose whole item list is one property, so that a language file can give it
// new texts. The chosen position survives a new list that still has it, and the change signals
// fire only for a real change of the choice: a translated list must not look like the operator
// picking another entry. User-interface thread only.
class TComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems NOTIFY ItemsChanged)

public:
    explicit TComboBox(QWidget* parent = nullptr);

    QStringList Items() const;
    // Replaces every item. The current index stays where the new list still has it, otherwise
    // nothing is chosen (-1). The same list changes nothing.
    void setItems(const QStringList& items);

signals:
    void ItemsChanged();
};

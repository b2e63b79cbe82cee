#include "widgets/gui/combo_box.h"

#include <QSignalBlocker>

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {}

QStringList TComboBox::Items() const {
    QStringList items;
    items.reserve(count());
    for (int index = 0; index < count(); ++index) {
        items.append(itemText(index));
    }
    return items;
}

void TComboBox::setItems(const QStringList& items) {
    if (items == Items()) {
        return;
    }
    const int oldIndex = currentIndex();
    const QString oldText = currentText();
    const int newIndex = oldIndex < items.size() ? oldIndex : -1;
    {
        // Clearing and refilling passes through other indexes on the way.
        const QSignalBlocker quiet(this);
        clear();
        addItems(items);
        setCurrentIndex(newIndex);
    }
    if (newIndex != oldIndex) {
        emit currentIndexChanged(newIndex);
    }
    if (currentText() != oldText) {
        emit currentTextChanged(currentText());
    }
    emit ItemsChanged();
}

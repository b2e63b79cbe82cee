#include "widgets/gui/list_box.h"

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {}

QStringList TListBox::Items() const {
    QStringList items;
    items.reserve(count());
    for (int row = 0; row < count(); ++row) {
        items.append(item(row)->text());
    }
    return items;
}

void TListBox::setItems(const QStringList& items) {
    if (items == Items()) {
        return;
    }
    clear();
    addItems(items);
    emit ItemsChanged();
}

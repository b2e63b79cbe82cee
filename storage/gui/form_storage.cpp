#include "storage/gui/form_storage.h"

#include "storage/windows1252.h"

#include <QWidget>

void TFormStorage::ResolveStoredProps() {
    storedProps_.resolve(form());
}

void TFormStorage::loadStoredProperties(const ProfileDocument& document) {
    if (!storedProps_.isResolved()) {
        ResolveStoredProps();
    }
    storedProps_.load(document, encodeWindows1252(IniSection()));
}

void TFormStorage::saveStoredProperties(ProfileDocument& document) {
    if (!storedProps_.isResolved()) {
        ResolveStoredProps();
    }
    storedProps_.save(document, encodeWindows1252(IniSection()));
}

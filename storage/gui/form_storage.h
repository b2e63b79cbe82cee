#pragma once

#include "storage/gui/form_placement.h"
#include "storage/stored_props.h"

#include <QStringList>

// TFormPlacement that also keeps a list of the window's control properties
// ("cbAutoStart.Checked", see StoredPropsList and property_lookup.h for how names are found).
// Restored values are assigned through the controls' setters during the first show, in list
// order, before the window's own showEvent runs; so their change handlers run then.
class TFormStorage : public TFormPlacement {
    Q_OBJECT
    Q_PROPERTY(QStringList StoredProps READ StoredProps WRITE setStoredProps)

public:
    using TFormPlacement::TFormPlacement;

    QStringList StoredProps() const { return storedProps_.entries(); }
    void setStoredProps(const QStringList& entries) { storedProps_.setEntries(entries); }
    // Ties the entries to the window's components and drops those naming none. Runs by itself
    // before the first load or save when the window has not called it after building itself.
    void ResolveStoredProps();

protected:
    void loadStoredProperties(const ProfileDocument& document) override;
    void saveStoredProperties(ProfileDocument& document) override;

private:
    StoredPropsList storedProps_;
};

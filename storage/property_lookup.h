#pragma once

#include <QMetaProperty>
#include <QString>
#include <QStringView>
#include <optional>

class QObject;

// Finds a control's property by the name the settings list and the language files use
// ("Checked", "Caption", "Items"), through Qt's meta-object system. In this order:
//
// 1. a property declared with exactly that name, so a control may always expose its own;
// 2. a fixed alias for a Qt widget that has the value under another name:
//      Caption   -> text (buttons, labels), title (group boxes), windowTitle (other widgets)
//      Hint      -> toolTip (widgets)
//      Down      -> checked (buttons; a speed button group is checkable and auto-exclusive)
//      Position  -> value (sliders: held within the range, valueChanged runs)
//      ItemIndex -> currentIndex (combo boxes), currentRow (list widgets)
// 3. any property whose name differs only in letter case (Checked -> checked,
//    Text -> text, Interval -> interval, Value -> value).
//
// Controls must themselves expose, as Q_PROPERTY with a notifying setter:
//   Items (QStringList) on list boxes and combo boxes (lbCut, cbCom1, cbCom2): the setter
//       replaces the whole item list;
//   Port, BaudRate, DataBits, StopBits, Parity (a QObject* with Bits, Check, Replace,
//       ReplaceChar) on the TCP and serial components, ktInteger1, ktInteger2, ktBoolean on
//       the property holder, Value on spin edits.
struct PropertyRef {
    QMetaProperty property;
    // The name in keys of the settings file: a property declared by one of our own classes is
    // spelled as declared; one of Qt's is spelled the Pascal way (checked -> Checked, the
    // alias's own name for an alias).
    QString keyName;
};

std::optional<PropertyRef> findProperty(const QObject* object, QStringView name);

// The component the form owns (any descendant in the object tree, the form excluded) whose
// objectName equals name without regard to case; the first in depth-first order.
QObject* findOwnedComponent(const QObject* form, QStringView name);

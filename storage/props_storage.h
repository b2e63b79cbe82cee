#pragma once

#include "storage/property_lookup.h"

#include <QByteArray>
#include <QPointer>
#include <functional>

class QObject;

// Turns one named property of one object into settings-file text and back, by the property's
// kind. Created for one load or save pass. Values are assigned through the property's own
// setter, and only when they differ from the current value, so a restored value has the same
// effects (toggled, valueChanged, click handlers) as the same assignment by the program.
//
// Kinds: integers of every width (decimal), bool ("True"/"False"), enumerations registered
// with Q_ENUM (the value's name), QString (Windows-1252, see encodeSettingsText; blanks and control
// characters at both ends removed), QStringList (a section of its own: Count, Item0...), and a
// QObject* whose own properties are stored one by one under prefix + property name + nested name.
// Other kinds are not stored. A QTimer's interval and a TCP port (an unsigned 16-bit "Port")
// only take a positive number: 0, a negative number or text that is not a number keeps the value
// they have, and the refusal is logged. A port whose object has the class information
// "ZeroPort" "off" takes 0 too, the port setting that switches its service off.
class TPropsStorage {
public:
    using ReadString = std::function<QByteArray(const QByteArray& section, const QByteArray& key,
                                                const QByteArray& defaultValue)>;
    using WriteString = std::function<void(const QByteArray& section, const QByteArray& key,
                                           const QByteArray& value)>;
    using EraseSection = std::function<void(const QByteArray& section)>;
    // Every key name of the section.
    using ListKeys = std::function<QList<QByteArray>(const QByteArray& section)>;

    // A list is read up to its highest "Item" key below its Count, and never beyond this many
    // items: a damaged Count or item key must not make the load build millions of empty items.
    static constexpr int kMaxListItems = 65536;

    QPointer<QObject> object;
    QByteArray prefix;
    QByteArray section;
    ReadString readString;
    WriteString writeString;
    EraseSection eraseSection;
    ListKeys listKeys;

    // Empty for a string list or a nested object, which are written by their own rule.
    QByteArray PropertyToText(const PropertyRef& ref) const;
    // False when the text names no value of the property's kind or the value is out of the
    // property's range; the property then keeps its value.
    bool TextToProperty(const PropertyRef& ref, const QByteArray& text);

    void StoreProperty(const PropertyRef& ref);
    // A value that the property's setter refuses by throwing ends this property's load only.
    void LoadProperty(const PropertyRef& ref);

private:
    using Step = void (TPropsStorage::*)(const PropertyRef& ref, int depth);

    // Runs step on each property of the object that ref holds, in alphabetical order, with a
    // converter for that object whose prefix ends in ref's name.
    void forEachNested(const PropertyRef& ref, int depth, Step step);
    void storeOne(const PropertyRef& ref, int depth);
    void loadOne(const PropertyRef& ref, int depth);
    QByteArray listSection(const PropertyRef& ref) const;
};

// Trims what the settings file never keeps at the ends of a text: blanks and control bytes.
QByteArray trimControls(QByteArrayView text);

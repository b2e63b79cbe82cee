#include "storage/props_storage.h"
#include "storage/storage_log.h"

#include "storage/windows1252.h"

#include <QLoggingCategory>
#include <QMetaEnum>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <limits>
#include <optional>
#include <vector>

namespace {

enum class Kind { Unsupported, Integer, Boolean, Enumeration, String, StringList, Nested };

// Nested objects deeper than this are not followed, so an object graph with a cycle cannot
// recurse without end.
constexpr int kMaxNesting = 4;

Kind kindOf(const QMetaProperty& property) {
    if (property.isEnumType()) {
        return property.isFlagType() ? Kind::Unsupported : Kind::Enumeration;
    }
    switch (property.metaType().id()) {
        case QMetaType::Bool:
            return Kind::Boolean;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Char:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return Kind::Integer;
        case QMetaType::QString:
            return Kind::String;
        case QMetaType::QStringList:
            return Kind::StringList;
        default:
            break;
    }
    return property.metaType().flags().testFlag(QMetaType::PointerToQObject) ? Kind::Nested
                                                                             : Kind::Unsupported;
}

template <typename T>
bool fits(qint64 value) {
    if constexpr (std::is_unsigned_v<T>) {
        return value >= 0 && quint64(value) <= quint64(std::numeric_limits<T>::max());
    } else {
        return value >= qint64(std::numeric_limits<T>::min()) &&
               value <= qint64(std::numeric_limits<T>::max());
    }
}

bool fitsProperty(const QMetaProperty& property, qint64 value) {
    switch (property.metaType().id()) {
        case QMetaType::Int:
            return fits<int>(value);
        case QMetaType::UInt:
            return fits<unsigned>(value);
        case QMetaType::Short:
            return fits<short>(value);
        case QMetaType::UShort:
            return fits<unsigned short>(value);
        case QMetaType::SChar:
            return fits<signed char>(value);
        case QMetaType::UChar:
            return fits<unsigned char>(value);
        case QMetaType::Char:
            return fits<char>(value);
        case QMetaType::Long:
            return fits<long>(value);
        case QMetaType::ULong:
            return fits<unsigned long>(value);
        case QMetaType::ULongLong:
            return value >= 0;
        default:
            return true;
    }
}

// Decimal with an optional sign; anything else, or a number beyond 64 bits, reads as 0.
qint64 toInteger(const QByteArray& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? value : 0;
}

// The integers for which 0 or less cannot work, and the reading of "not a number" as 0 would
// stop the show: a timer with interval 0 fires on every pass of the event loop (or, held back,
// never: no retry, no automatic start), and a TCP port 0 makes the system choose one that no
// peer knows. These keep their value when the file holds an unusable one. A port 0 is usable
// where the component says it switches its service off (class information "ZeroPort").
std::optional<qint64> leastUsable(const QObject* object, const QMetaProperty& property) {
    if (qobject_cast<const QTimer*>(object)) {
        return qstrcmp(property.name(), "interval") == 0 ? std::optional<qint64>(1) : std::nullopt;
    }
    if (property.metaType().id() != QMetaType::UShort || qstrcmp(property.name(), "Port") != 0) {
        return std::nullopt;
    }
    const QMetaObject* meta = object->metaObject();
    const int zero = meta->indexOfClassInfo("ZeroPort");
    return zero >= 0 && qstrcmp(meta->classInfo(zero).value(), "off") == 0 ? 0 : 1;
}

bool usable(const QByteArray& text, qint64 least) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok && value >= least;
}

QString integerText(const QVariant& value, const QMetaProperty& property) {
    const int id = property.metaType().id();
    if (id == QMetaType::ULongLong || id == QMetaType::ULong || id == QMetaType::UInt) {
        return QString::number(value.toULongLong());
    }
    return QString::number(value.toLongLong());
}

// The index of a list item's key: "Item" in any letter case and a decimal number in its
// plain form, as the reader looks keys up ("Item07" is no key it ever asks for).
std::optional<qint64> itemIndex(const QByteArray& key) {
    if (key.size() < 5 || key.size() > 14 || !equalsIgnoringCase(key.first(4), "Item")) {
        return std::nullopt;
    }
    const QByteArrayView digits = QByteArrayView(key).sliced(4);
    if (digits.size() > 1 && digits.front() == '0') {
        return std::nullopt;
    }
    qint64 index = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        index = index * 10 + (c - '0');
    }
    return index;
}

std::vector<std::pair<int, QByteArray>> enumNamesByValue(const QMetaEnum& meta) {
    std::vector<std::pair<int, QByteArray>> names;
    for (int i = 0; i < meta.keyCount(); ++i) {
        names.emplace_back(meta.value(i), QByteArray(meta.key(i)));
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return names;
}

std::vector<PropertyRef> nestedProperties(const QObject* child) {
    std::vector<PropertyRef> refs;
    const QMetaObject* meta = child->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.isStored() && property.isReadable() && property.isWritable()) {
            refs.push_back(*findProperty(child, QString::fromLatin1(property.name())));
        }
    }
    std::sort(refs.begin(), refs.end(), [](const PropertyRef& a, const PropertyRef& b) {
        return a.keyName.compare(b.keyName, Qt::CaseInsensitive) < 0;
    });
    return refs;
}

}  // namespace

QByteArray trimControls(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    return text.sliced(begin, end - begin).toByteArray();
}

QByteArray TPropsStorage::PropertyToText(const PropertyRef& ref) const {
    const QMetaProperty& property = ref.property;
    if (!object || !property.isReadable()) {
        return {};
    }
    const QVariant value = property.read(object);
    switch (kindOf(property)) {
        case Kind::Integer:
            return integerText(value, property).toLatin1();
        case Kind::Boolean:
            return value.toBool() ? "True" : "False";
        case Kind::Enumeration:
            return QByteArray(property.enumerator().valueToKey(value.toInt()));
        case Kind::String:
            return trimControls(encodeSettingsText(value.toString()));
        default:
            return {};
    }
}

bool TPropsStorage::TextToProperty(const PropertyRef& ref, const QByteArray& text) {
    const QMetaProperty& property = ref.property;
    if (!object || !property.isWritable()) {
        return false;
    }
    const QVariant current = property.read(object);
    switch (kindOf(property)) {
        case Kind::Integer: {
            const QByteArray number = trimControls(text);
            const qint64 value = toInteger(number);
            const std::optional<qint64> least = leastUsable(object, property);
            if (!fitsProperty(property, value) || (least && !usable(number, *least))) {
                return false;
            }
            QVariant converted(value);
            if (!converted.convert(property.metaType())) {
                return false;
            }
            return converted == current || property.write(object, converted);
        }
        case Kind::Boolean: {
            const QByteArray word = trimControls(text);
            bool value = false;
            if (equalsIgnoringCase(word, "True")) {
                value = true;
            } else if (!equalsIgnoringCase(word, "False")) {
                return false;
            }
            return current.toBool() == value || property.write(object, value);
        }
        case Kind::Enumeration: {
            const QByteArray word = trimControls(text);
            for (const auto& [value, name] : enumNamesByValue(property.enumerator())) {
                if (equalsIgnoringCase(word, name)) {
                    return current.toInt() == value || property.write(object, value);
                }
            }
            return false;
        }
        case Kind::String: {
            const QString value = decodeSettingsText(trimControls(text));
            return current.toString() == value || property.write(object, value);
        }
        default:
            return false;
    }
}

QByteArray TPropsStorage::listSection(const PropertyRef& ref) const {
    return section + '.' + prefix + encodeWindows1252(ref.keyName);
}

void TPropsStorage::StoreProperty(const PropertyRef& ref) {
    storeOne(ref, 0);
}

void TPropsStorage::LoadProperty(const PropertyRef& ref) {
    // Components refuse a value by throwing (a listening server a new port, an open serial port
    // line settings its device cannot make). Whatever the component kept, the load of this one
    // property ends there, and the pass goes on with the next one.
    try {
        loadOne(ref, 0);
    } catch (const std::exception& error) {
        qCWarning(lcStorage) << "refused" << prefix + encodeWindows1252(ref.keyName)
                             << error.what();
    }
}

void TPropsStorage::storeOne(const PropertyRef& ref, int depth) {
    if (!object || !ref.property.isReadable()) {
        return;
    }
    const Kind kind = kindOf(ref.property);
    if (kind == Kind::StringList) {
        const QByteArray listName = listSection(ref);
        const QStringList items = ref.property.read(object).toStringList();
        eraseSection(listName);
        if (!items.isEmpty()) {
            writeString(listName, "Count", QByteArray::number(items.size()));
            for (int i = 0; i < items.size(); ++i) {
                writeString(listName, "Item" + QByteArray::number(i), encodeSettingsText(items[i]));
            }
        }
        return;
    }
    if (kind == Kind::Nested) {
        forEachNested(ref, depth, &TPropsStorage::storeOne);
        return;
    }
    const QByteArray text = PropertyToText(ref);
    if (kind == Kind::Unsupported || (text.isEmpty() && kind != Kind::String)) {
        return;
    }
    writeString(section, prefix + encodeWindows1252(ref.keyName), trimControls(text));
}

void TPropsStorage::loadOne(const PropertyRef& ref, int depth) {
    if (!object) {
        return;
    }
    const Kind kind = kindOf(ref.property);
    if (kind == Kind::StringList) {
        if (!ref.property.isWritable()) {
            return;
        }
        const QByteArray listName = listSection(ref);
        const qint64 count = std::min<qint64>(
            toInteger(trimControls(readString(listName, "Count", "0"))), kMaxListItems);
        qint64 itemsPresent = 0;
        if (count > 0 && listKeys) {
            for (const QByteArray& key : listKeys(listName)) {
                if (const std::optional<qint64> index = itemIndex(key); index && *index < count) {
                    itemsPresent = std::max(itemsPresent, *index + 1);
                }
            }
        }
        if (itemsPresent <= 0) {
            return;
        }
        QStringList items;
        items.reserve(itemsPresent);
        for (qint64 i = 0; i < itemsPresent; ++i) {
            items.append(
                decodeSettingsText(readString(listName, "Item" + QByteArray::number(i), {})));
        }
        if (ref.property.read(object).toStringList() != items) {
            ref.property.write(object, items);
        }
        return;
    }
    if (kind == Kind::Nested) {
        forEachNested(ref, depth, &TPropsStorage::loadOne);
        return;
    }
    if (kind == Kind::Unsupported) {
        return;
    }
    const QByteArray key = prefix + encodeWindows1252(ref.keyName);
    const QByteArray text = trimControls(readString(section, key, PropertyToText(ref)));
    if (!TextToProperty(ref, text)) {
        if (kind == Kind::Integer && leastUsable(object, ref.property)) {
            qCWarning(lcStorage) << "refused" << key << "=" << text.left(80) << "keeping"
                                 << PropertyToText(ref);
        } else {
            qCDebug(lcStorage) << "kept" << key << "against" << text.left(80);
        }
    }
}

void TPropsStorage::forEachNested(const PropertyRef& ref, int depth, Step step) {
    QObject* child = ref.property.read(object).value<QObject*>();
    if (!child || depth >= kMaxNesting) {
        return;
    }
    TPropsStorage nested{child,       prefix + encodeWindows1252(ref.keyName),
                         section,     readString,
                         writeString, eraseSection,
                         listKeys};
    for (const PropertyRef& inner : nestedProperties(child)) {
        (nested.*step)(inner, depth + 1);
    }
}

// libFuzzer target: the profile-file reader and writer, and the settings load pass over every
// kind of stored property, fed with arbitrary file bytes.
#include "storage/profile_document.h"
#include "storage/props_storage.h"
#include "storage/stored_props.h"

#include <QObject>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

namespace {

class FuzzNested : public QObject {
    Q_OBJECT
    Q_PROPERTY(Mode Bits MEMBER bits)
    Q_PROPERTY(bool Check MEMBER check)
    Q_PROPERTY(quint8 ReplaceChar MEMBER replaceChar)

public:
    enum Mode { prNone, prOdd, prEven };
    Q_ENUM(Mode)
    using QObject::QObject;
    Mode bits = prNone;
    bool check = false;
    quint8 replaceChar = 0;
};

class FuzzComponent : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Interval MEMBER interval)
    Q_PROPERTY(quint16 Port MEMBER port)
    Q_PROPERTY(bool Checked MEMBER checked)
    Q_PROPERTY(QString Text MEMBER text)
    Q_PROPERTY(QStringList Items MEMBER items)
    Q_PROPERTY(qint64 Value MEMBER value)
    Q_PROPERTY(FuzzNested* Parity READ parityObject)

public:
    explicit FuzzComponent(QObject* owner) : QObject(owner), parity(this) {
        setObjectName(QStringLiteral("Comp"));
    }
    FuzzNested* parityObject() { return &parity; }
    int interval = 1000;
    quint16 port = 8234;
    bool checked = false;
    QString text;
    QStringList items;
    qint64 value = 0;
    FuzzNested parity;
};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ProfileDocument doc = ProfileDocument::parse(bytes);
    require(doc.serialize() == bytes);

    QObject form;
    FuzzComponent component(&form);
    StoredPropsList props;
    props.setEntries({"Comp.Interval", "comp.port", "Comp.Checked", "Comp.Text", "Comp.Items",
                      "Comp.Value", "Comp.Parity", "Comp.Missing", "Nobody.Text"});
    props.resolve(&form);
    // A list's Count is honoured up to 65536 items (a unit test covers that bound); larger
    // counts would only slow every run down to a crawl without reaching new code.
    if (trimControls(doc.readString("System.Comp_Items", "Count", {})).toLongLong() > 4096) {
        return 0;
    }
    props.load(doc, "System");

    // Writes keep the document's index in step with its text: a fresh parse reads the same.
    const QList<QByteArray> keys = doc.keys("System");
    for (const QByteArray& key : keys.mid(0, 8)) {
        doc.writeString("System", key, key + "=\"v\"");
    }
    props.save(doc, "System");
    doc.writeString(bytes.left(12), bytes.mid(12, 12), bytes.mid(24, 40));
    const ProfileDocument reread = ProfileDocument::parse(doc.serialize());
    for (const QByteArray& key : doc.keys("System")) {
        require(reread.value("System", key) == doc.value("System", key));
    }
    require(reread.value(bytes.left(12), bytes.mid(12, 12)) ==
            doc.value(bytes.left(12), bytes.mid(12, 12)));
    doc.eraseSection("System.Comp_Items");
    require(!doc.hasSection("System.Comp_Items"));
    return 0;
}

#include "profile_fuzz.moc"

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <optional>
#include <vector>

// One INI file in the platform's profile-file form, held as its lines so that a write changes
// only the line it concerns and every other byte (comments, unknown sections, odd lines) is
// written back untouched.
//
// Reading rules: lines end at a line feed (with or without a carriage return before it); past
// the file's last line feed a lone carriage return ends a line too, so a file with old Mac line
// ends reads as lines. Section and key names match without regard to case (Windows-1252); the
// first of two equal sections or keys counts; blanks (space, tab, carriage return, and Ctrl-Z,
// the old end-of-file mark) around names and values are dropped;
// one enclosing pair of double or single quotes is removed from a value; lines whose first
// non-blank character is ";" are comments, lines without "=" are ignored; a value is read up to
// kMaxValueBytes. Names and values are bytes; nothing here decodes text.
class ProfileDocument {
public:
    static constexpr qsizetype kMaxValueBytes = 2047;
    // Key names of one section are listed into a buffer of this size: every name with a
    // terminating zero and one final zero. Names that do not fit whole are not listed.
    static constexpr qsizetype kKeyListBytes = 16384;

    ProfileDocument() = default;
    static ProfileDocument parse(QByteArrayView bytes);
    QByteArray serialize() const;

    bool hasSection(QByteArrayView section) const;
    // The value of the key, or nothing when the section or the key is missing.
    std::optional<QByteArray> value(QByteArrayView section, QByteArrayView key) const;
    QByteArray readString(QByteArrayView section, QByteArrayView key,
                          QByteArrayView defaultValue) const;
    // The section's key names in file order, each once (its first spelling), within
    // kKeyListBytes.
    QList<QByteArray> keys(QByteArrayView section) const;
    // The same without the listing's size limit.
    QList<QByteArray> allKeys(QByteArrayView section) const;

    // Replaces the key's line where it stands, or appends the key after the last non-blank line
    // of its section; a missing section is appended at the end of the document. Line breaks in
    // any argument would split the line and inject keys or sections, so they become blanks.
    void writeString(QByteArrayView section, QByteArrayView key, QByteArrayView value);
    // Removes every section of that name with all its lines.
    void eraseSection(QByteArrayView section);

private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        QByteArray raw;
        QByteArray ending;
        Kind kind = Kind::Other;
        QByteArray name;
        QByteArray value;
    };

    static Line classify(QByteArray raw, QByteArray ending);
    // Index of the first header of the section, or -1.
    qsizetype findSection(QByteArrayView section) const;
    // One past the last line that belongs to the section opened at header.
    qsizetype sectionEnd(qsizetype header) const;
    void buildIndex() const;
    QList<QByteArray> keysWithin(QByteArrayView section, qsizetype limitBytes) const;
    // Inserts a line meant as the header of section (key empty) or as key in section.
    void insertLine(qsizetype at, QByteArray raw, QByteArrayView section, QByteArrayView key);
    // Finds the last line ended by a line feed and whether a lone carriage return ends a line
    // after it.
    void recountEndings();

    std::vector<Line> lines_;
    QByteArray newline_ = "\r\n";
    // The last line whose ending holds a line feed, or -1; lines after it that end in a lone
    // carriage return are split there only because no line feed follows, so a line inserted
    // among them must not end in one.
    qsizetype lastLineFeed_ = -1;
    bool carriageReturnTail_ = false;
    // Folded "section\0key" to the line of its first occurrence; rebuilt after each change.
    mutable QHash<QByteArray, qsizetype> index_;
    // Folded section name to the line of its first header.
    mutable QHash<QByteArray, qsizetype> sections_;
    // The last header line of any name; its section runs to the end of the document.
    mutable qsizetype lastHeader_ = -1;
    mutable bool indexValid_ = false;
};

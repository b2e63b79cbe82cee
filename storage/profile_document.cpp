#include "storage/profile_document.h"

#include "storage/windows1252.h"

#include <algorithm>
#include <limits>

namespace {

// A carriage return or a Ctrl-Z left at the end of a name or a value is never part of it.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\x1a';
}

QByteArray trimBlanks(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin).toByteArray();
}

QByteArray folded(QByteArrayView text) {
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        out[i] = foldWindows1252(text[i]);
    }
    return out;
}

QByteArray indexKey(QByteArrayView section, QByteArrayView key) {
    QByteArray k = folded(section);
    k.append('\0');
    k.append(folded(key));
    return k;
}

QByteArray withoutLineBreaks(QByteArrayView text) {
    QByteArray out = text.toByteArray();
    out.replace('\r', ' ');
    out.replace('\n', ' ');
    return out;
}

}  // namespace

ProfileDocument::Line ProfileDocument::classify(QByteArray raw, QByteArray ending) {
    Line line;
    line.raw = std::move(raw);
    line.ending = std::move(ending);
    const QByteArray trimmed = trimBlanks(line.raw);
    if (trimmed.startsWith('[')) {
        const qsizetype close = trimmed.indexOf(']');
        line.kind = Kind::Section;
        line.name =
            trimBlanks(QByteArrayView(trimmed).sliced(1, (close < 0 ? trimmed.size() : close) - 1));
        return line;
    }
    if (trimmed.startsWith(';')) {
        return line;
    }
    const qsizetype equals = trimmed.indexOf('=');
    if (equals <= 0) {
        return line;
    }
    line.name = trimBlanks(QByteArrayView(trimmed).first(equals));
    if (line.name.isEmpty()) {
        return line;
    }
    line.kind = Kind::Entry;
    QByteArray value = trimBlanks(QByteArrayView(trimmed).sliced(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.sliced(1, value.size() - 2);
    }
    value.truncate(kMaxValueBytes);
    line.value = std::move(value);
    return line;
}

ProfileDocument ProfileDocument::parse(QByteArrayView bytes) {
    ProfileDocument doc;
    const qsizetype lastLineFeed = bytes.lastIndexOf('\n');
    bool newlineSeen = false;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype contentEnd = bytes.size();
        qsizetype next = bytes.size();
        QByteArray ending;
        if (start <= lastLineFeed) {
            const qsizetype lf = bytes.indexOf('\n', start);
            const bool crlf = lf > start && bytes[lf - 1] == '\r';
            contentEnd = crlf ? lf - 1 : lf;
            ending = crlf ? QByteArray("\r\n") : QByteArray("\n");
            next = lf + 1;
        } else if (const qsizetype cr = bytes.indexOf('\r', start); cr >= 0) {
            contentEnd = cr;
            ending = "\r";
            next = cr + 1;
        }
        if (!ending.isEmpty() && !newlineSeen) {
            doc.newline_ = ending;
            newlineSeen = true;
        }
        doc.lines_.push_back(
            classify(bytes.sliced(start, contentEnd - start).toByteArray(), std::move(ending)));
        start = next;
    }
    doc.recountEndings();
    return doc;
}

void ProfileDocument::recountEndings() {
    lastLineFeed_ = -1;
    carriageReturnTail_ = false;
    for (qsizetype i = qsizetype(lines_.size()) - 1; i >= 0; --i) {
        if (lines_[i].ending.contains('\n')) {
            lastLineFeed_ = i;
            return;
        }
        carriageReturnTail_ = carriageReturnTail_ || !lines_[i].ending.isEmpty();
    }
}

QByteArray ProfileDocument::serialize() const {
    QByteArray out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += line.ending;
    }
    return out;
}

void ProfileDocument::buildIndex() const {
    if (indexValid_) {
        return;
    }
    index_.clear();
    sections_.clear();
    lastHeader_ = -1;
    QByteArray current;
    bool counting = false;
    for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Section) {
            lastHeader_ = i;
            current = line.name;
            const QByteArray f = folded(current);
            // Only the first section of a name is read, as the platform does.
            counting = !sections_.contains(f);
            if (counting) {
                sections_.insert(f, i);
            }
        } else if (line.kind == Kind::Entry && counting) {
            const QByteArray k = indexKey(current, line.name);
            if (!index_.contains(k)) {
                index_.insert(k, i);
            }
        }
    }
    indexValid_ = true;
}

qsizetype ProfileDocument::findSection(QByteArrayView section) const {
    buildIndex();
    return sections_.value(folded(trimBlanks(section)), -1);
}

qsizetype ProfileDocument::sectionEnd(qsizetype header) const {
    buildIndex();
    if (header == lastHeader_) {
        return qsizetype(lines_.size());
    }
    qsizetype i = header + 1;
    while (i < qsizetype(lines_.size()) && lines_[i].kind != Kind::Section) {
        ++i;
    }
    return i;
}

bool ProfileDocument::hasSection(QByteArrayView section) const {
    return findSection(section) >= 0;
}

std::optional<QByteArray> ProfileDocument::value(QByteArrayView section, QByteArrayView key) const {
    buildIndex();
    const auto it = index_.constFind(indexKey(trimBlanks(section), trimBlanks(key)));
    if (it == index_.constEnd()) {
        return std::nullopt;
    }
    return lines_[it.value()].value;
}

QByteArray ProfileDocument::readString(QByteArrayView section, QByteArrayView key,
                                       QByteArrayView defaultValue) const {
    return value(section, key).value_or(defaultValue.toByteArray());
}

QList<QByteArray> ProfileDocument::keys(QByteArrayView section) const {
    return keysWithin(section, kKeyListBytes);
}

QList<QByteArray> ProfileDocument::allKeys(QByteArrayView section) const {
    return keysWithin(section, std::numeric_limits<qsizetype>::max());
}

QList<QByteArray> ProfileDocument::keysWithin(QByteArrayView section, qsizetype limitBytes) const {
    QList<QByteArray> names;
    const qsizetype header = findSection(section);
    if (header < 0) {
        return names;
    }
    QHash<QByteArray, bool> seen;
    qsizetype used = 1;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line& line = lines_[i];
        if (line.kind != Kind::Entry) {
            continue;
        }
        const QByteArray f = folded(line.name);
        if (seen.contains(f)) {
            continue;
        }
        if (line.name.size() + 1 > limitBytes - used) {
            break;
        }
        used += line.name.size() + 1;
        seen.insert(f, true);
        names.append(line.name);
    }
    return names;
}

void ProfileDocument::insertLine(qsizetype at, QByteArray raw, QByteArrayView section,
                                 QByteArrayView key) {
    // Among lines split at lone carriage returns, a line feed would join them all into one.
    const QByteArray ending =
        carriageReturnTail_ && at > lastLineFeed_ ? QByteArray("\r") : newline_;
    if (at > 0 && lines_[at - 1].ending.isEmpty()) {
        lines_[at - 1].ending = ending;
    }
    if (ending.contains('\n')) {
        lastLineFeed_ = at > lastLineFeed_ ? at : lastLineFeed_ + 1;
    } else if (at > lastLineFeed_) {
        carriageReturnTail_ = true;
    } else {
        ++lastLineFeed_;
    }
    Line line = classify(std::move(raw), ending);
    // The index survives the insertion when the line reads back as what was meant; a name
    // with "]", "=" or a leading ";" does not, and the index is rebuilt on the next read.
    const bool asMeant = key.isEmpty()
                             ? line.kind == Kind::Section && equalsIgnoringCase(line.name, section)
                             : line.kind == Kind::Entry && equalsIgnoringCase(line.name, key);
    const QByteArray name = line.name;
    const bool atEnd = at == qsizetype(lines_.size());
    lines_.insert(lines_.begin() + at, std::move(line));
    if (!indexValid_ || !asMeant) {
        indexValid_ = false;
        return;
    }
    // Appending, the common case (a list section is erased and written anew at the end),
    // moves no line; an insertion further up moves every later line down by one.
    if (!atEnd) {
        for (qsizetype& index : index_) {
            index += index >= at ? 1 : 0;
        }
        for (qsizetype& index : sections_) {
            index += index >= at ? 1 : 0;
        }
        lastHeader_ += lastHeader_ >= at ? 1 : 0;
    }
    if (key.isEmpty()) {
        sections_.insert(folded(name), at);
        lastHeader_ = std::max(lastHeader_, at);
    } else {
        index_.insert(indexKey(section, name), at);
    }
}

void ProfileDocument::writeString(QByteArrayView section, QByteArrayView key,
                                  QByteArrayView value) {
    const QByteArray sectionName = trimBlanks(withoutLineBreaks(section));
    const QByteArray keyName = trimBlanks(withoutLineBreaks(key));
    const QByteArray entry = keyName + '=' + withoutLineBreaks(value);
    const qsizetype header = findSection(sectionName);
    if (header < 0) {
        insertLine(qsizetype(lines_.size()), '[' + sectionName + ']', sectionName, {});
        insertLine(qsizetype(lines_.size()), entry, sectionName, keyName);
        return;
    }
    const auto it = index_.constFind(indexKey(sectionName, keyName));
    if (it != index_.constEnd()) {
        Line& line = lines_[it.value()];
        line = classify(entry, line.ending);
        if (line.kind != Kind::Entry || !equalsIgnoringCase(line.name, keyName)) {
            indexValid_ = false;
        }
        return;
    }
    qsizetype at = sectionEnd(header);
    while (at > header + 1 && trimBlanks(lines_[at - 1].raw).isEmpty()) {
        --at;
    }
    insertLine(at, entry, sectionName, keyName);
}

void ProfileDocument::eraseSection(QByteArrayView section) {
    const QByteArray name = trimBlanks(section);
    std::vector<Line> kept;
    kept.reserve(lines_.size());
    bool erasing = false;
    for (Line& line : lines_) {
        if (line.kind == Kind::Section) {
            erasing = equalsIgnoringCase(line.name, name);
        }
        if (!erasing) {
            kept.push_back(std::move(line));
        }
    }
    lines_ = std::move(kept);
    recountEndings();
    indexValid_ = false;
}

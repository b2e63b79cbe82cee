#include "storage/windows1252.h"

#include <array>

namespace {

// Unicode code points of bytes 0x80-0x9F. The five bytes Windows-1252 leaves undefined map to
// the C1 controls of the same value, as the platform does, so every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t toUnicode(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte);
}

char fromUnicode(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        return char(unit);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == unit) {
            return char(0x80 + i);
        }
    }
    return '?';
}

constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i) {
        table[i] = static_cast<unsigned char>(i);
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        table[c] = static_cast<unsigned char>(c + 32);
    }
    for (int c = 0xC0; c <= 0xDE; ++c) {
        if (c != 0xD7) {
            table[c] = static_cast<unsigned char>(c + 32);
        }
    }
    table[0x8A] = 0x9A;  // Š
    table[0x8C] = 0x9C;  // Œ
    table[0x8E] = 0x9E;  // Ž
    table[0x9F] = 0xFF;  // Ÿ
    return table;
}

constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

}  // namespace

QString decodeWindows1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        *out++ = QChar(toUnicode(static_cast<unsigned char>(byte)));
    }
    return text;
}

QByteArray encodeWindows1252(QStringView text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            *out++ = '?';
            continue;
        }
        *out++ = fromUnicode(c.unicode());
    }
    bytes.truncate(out - bytes.data());
    return bytes;
}

namespace {

bool fitsWindows1252(QStringView text) {
    for (const QChar c : text) {
        if (c != u'?' && fromUnicode(c.unicode()) == '?') {
            return false;
        }
    }
    return true;
}

}  // namespace

QByteArray encodeSettingsText(QStringView text) {
    return fitsWindows1252(text) ? encodeWindows1252(text) : text.toUtf8();
}

QString decodeSettingsText(QByteArrayView bytes) {
    if (QtPrivate::isValidUtf8(bytes)) {
        const QString utf8 = QString::fromUtf8(bytes);
        if (!fitsWindows1252(utf8)) {
            return utf8;
        }
    }
    return decodeWindows1252(bytes);
}

char foldWindows1252(char byte) {
    return char(kFold[static_cast<unsigned char>(byte)]);
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (kFold[static_cast<unsigned char>(a[i])] != kFold[static_cast<unsigned char>(b[i])]) {
            return false;
        }
    }
    return true;
}

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Settings and language files are single-byte Windows-1252 text. Their bytes travel unchanged
// through the profile layer; these two functions are the only place where they become Unicode
// (for a widget, a message box) and back.

QString decodeWindows1252(QByteArrayView bytes);

// Characters outside Windows-1252 become "?", as the platform's ANSI conversion does.
QByteArray encodeWindows1252(QStringView text);

// Byte-wise case folding under Windows-1252 (A-Z, the accented capitals, Š, Œ, Ž, Ÿ), the way
// the platform's profile reader compares section and key names.
char foldWindows1252(char byte);
bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b);

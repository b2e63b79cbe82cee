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

// Texts of the settings file. A text that Windows-1252 cannot hold whole (a Cyrillic or Greek
// file name on this system) is stored as UTF-8 instead of losing its letters to "?"; on reading,
// bytes are taken as UTF-8 only when they are valid UTF-8 and name a character that
// Windows-1252 lacks, which Windows-1252 text in practice never does. Everything else is
// Windows-1252 both ways.
QByteArray encodeSettingsText(QStringView text);
QString decodeSettingsText(QByteArrayView bytes);

// Byte-wise case folding under Windows-1252 (A-Z, the accented capitals, Š, Œ, Ž, Ÿ), the way
// the platform's profile reader compares section and key names.
char foldWindows1252(char byte);
bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b);

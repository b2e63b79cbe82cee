#pragma once

#include <QByteArrayView>
#include <QString>

// A new token for the remote operations: 128 bits from the system's random source, as 32
// lower-case hexadecimal digits, easy to type on a tablet and safe in a settings file.
QString makeRemoteToken();

// Whether the token a caller sent is the one expected, in a time that depends on the expected
// token's length only, so that timing the answers tells nothing about its digits. An empty
// expected token matches nothing.
bool remoteTokenMatches(QByteArrayView expected, QByteArrayView given);

// Writes the token as "Remote_Token" into the section [System] of the settings file at once, so
// that it holds even when the program never closes in order. False with the reason in *error
// when the file could not be written.
bool storeRemoteToken(const QString& iniPath, const QString& token, QString* error);

#pragma once

#include <QByteArray>

// Decodes input read with PARMRK: 0xFF 0xFF is a data byte 0xFF, and 0xFF 0x00 <byte> marks a
// byte received with a parity or framing error, which becomes `replacement`. A mark cut off at
// the end of `raw` is kept in `pending` and completed by the next call.
QByteArray DecodeParityMarks(QByteArray& pending, const QByteArray& raw, char replacement);

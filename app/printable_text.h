#pragma once

#include <QString>
#include <QStringView>

// A peer's text made fit for a log line or a list: control characters, line and paragraph
// separators and the invisible format marks (the direction overrides such as U+202E among them),
// with which a peer could break a line, move the cursor of a terminal or turn text around to
// forge another line, are written as \xNN or \uNNNN; so is the backslash, so that such an escape
// cannot be forged either. Everything else, accented letters included, stays as it is.
QString printableText(QStringView text);

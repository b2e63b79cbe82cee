#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>
#include <array>
#include <optional>

// Text forms of the window-placement keys of the settings file.

// "(1280x1024)": appended to "MinMaxPos" and "NormPos" so that each screen size keeps its own
// last position.
QByteArray resolutionSuffix(QSize screen);

// "%d,%d,%d,%d".
QByteArray positionText(int a, int b, int c, int d);

// The first four words of a position value, split at commas and blanks; a missing word or one
// that is not an integer is empty.
std::array<std::optional<int>, 4> positionWords(QByteArrayView text);

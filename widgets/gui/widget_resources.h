#pragma once

#include "widgets/color_value.h"

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QString>

// The bitmaps linked into the program ("BSM", "SPLASHMAP", "LOGO", "SpinUp", ...), by the names
// the widgets use. Returns a null image for an unknown name.
QImage loadResourceBitmap(const QString& name);

// A stored colour as a QColor; a system colour takes its current value from `palette`.
QColor resolveColor(TColor color, const QPalette& palette);

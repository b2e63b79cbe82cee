#pragma once

#include <QImage>

// The splash window's picture: the screen under the window with the splash map laid over it,
// each colour byte weighted by the mask's grey value (see blendSplashByte). The result has the
// map's size in 24-bit colour; screen pixels missing from `screen` (a capture cut off at the
// screen's edge, or none at all) count as `background`.
QImage blendSplashPicture(const QImage& screen, const QImage& map, const QImage& mask,
                          QColor background);

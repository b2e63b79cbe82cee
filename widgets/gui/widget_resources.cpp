#include "widgets/gui/widget_resources.h"

QImage loadResourceBitmap(const QString& name) {
    return QImage(QStringLiteral(":/bitmaps/") + name);
}

namespace {

// The desktop's numbered system colours, mapped onto the palette roles that play the same part.
QPalette::ColorRole roleForSystemColor(int index) {
    switch (index) {
        case 0:
            return QPalette::Button;  // scroll bar
        case 1:
            return QPalette::Dark;  // desktop
        case 2:
            return QPalette::Highlight;  // active caption
        case 3:
            return QPalette::Mid;  // inactive caption
        case 4:
            return QPalette::Window;  // menu
        case 5:
            return QPalette::Base;  // window
        case 6:
            return QPalette::Shadow;  // window frame
        case 7:
            return QPalette::WindowText;  // menu text
        case 8:
            return QPalette::WindowText;  // window text
        case 9:
            return QPalette::HighlightedText;  // caption text
        case 12:
            return QPalette::Dark;  // application workspace
        case 13:
            return QPalette::Highlight;  // highlight
        case 14:
            return QPalette::HighlightedText;  // highlight text
        case 15:
            return QPalette::Window;  // button face: the face of dialogs
        case 16:
            return QPalette::Dark;  // button shadow
        case 17:
            return QPalette::PlaceholderText;  // grey text
        case 18:
            return QPalette::ButtonText;  // button text
        case 20:
            return QPalette::Light;  // button highlight
        case 21:
            return QPalette::Shadow;  // dark 3D shadow
        case 22:
            return QPalette::Midlight;  // light 3D
        case 23:
            return QPalette::ToolTipText;  // info text
        case 24:
            return QPalette::ToolTipBase;  // info background
        default:
            return QPalette::Window;
    }
}

}  // namespace

QColor resolveColor(TColor color, const QPalette& palette) {
    if (isSystemColor(color)) {
        return palette.color(QPalette::Active, roleForSystemColor(systemColorIndex(color)));
    }
    return QColor::fromRgb(toArgb(color));
}

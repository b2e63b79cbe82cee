#pragma once

#include "storage/gui/form_placement.h"

#include <QWidget>

// A window whose place (position only) is kept in section "System" of the settings file at path:
// fixed at 400×300, or resizable from 300×200.
struct PlacedWindow {
    PlacedWindow(const QString& path, bool resizable) : placement(&window) {
        if (resizable) {
            window.resize(300, 200);
        } else {
            window.setFixedSize(400, 300);
        }
        placement.setIniFileName(path);
        placement.setIniSection(QStringLiteral("System"));
        placement.setOptions(TFormPlacement::fpPosition);
    }

    QWidget window;
    TFormPlacement placement;
};

#pragma once

#include <QStringList>

class QWidget;
namespace Ui {
class TfFrameLock;
}

// Checks of the main window's design, shared by its preview and its test.

struct FormArrangement {
    bool master;
    bool lan;
};

// What the window does to its design for a role and a link: one role group and one link group
// visible, the link group at its place, the window shrunk to fit.
void arrangeForm(Ui::TfFrameLock& ui, QWidget& form, FormArrangement arrangement);

// Language entries of the main window that find no control or no property of that name.
QStringList unresolvedEntries(const QWidget& form);

// Visible controls whose text does not fit them, one line each.
QStringList cutTexts(const QWidget& form);

// Visible sibling controls that overlap, and controls reaching outside their parent.
QStringList overlappingControls(const QWidget& form);

// The window's layout that follows its texts: a status box grows with its message, so that a
// failure is read whole, and the window with it; a window widened by the operator widens the
// status boxes and the Master's list.
#include "app/window/frame_lock.h"

#include "ui_fFrameLock.h"
#include "widgets/gui/status_box.h"

#include <QGroupBox>
#include <initializer_list>

namespace {

constexpr int kStatusBoxHeight = 24;
constexpr int kComStatusHeight = 20;
// Between a status box and the Master's list, and below the last control of a group.
constexpr int kGap = 6;
constexpr int kListBottomMargin = 8;
constexpr int kRightMargin = 8;

int bottomOf(const QWidget& widget) {
    return widget.geometry().bottom() + 1;
}

// A control that reaches to its group's right edge keeps its margin there.
void stretchRight(QWidget& control, int groupWidth) {
    control.resize(groupWidth - kRightMargin - control.x(), control.height());
}

void fitHeight(TStatusBox& box, int minimum) {
    box.resize(box.width(), box.neededHeight(minimum));
}

}  // namespace

void TfFrameLock::FitStatusBoxes() {
    fitHeight(*ui->eServerStatus, kStatusBoxHeight);
    ui->lbConnected->move(ui->lbConnected->x(), bottomOf(*ui->eServerStatus) + kGap);
    ui->gbLanMaster->resize(ui->gbLanMaster->width(),
                            bottomOf(*ui->lbConnected) + kListBottomMargin);

    fitHeight(*ui->eClientStatus, kStatusBoxHeight);
    ui->gbLanSlave->resize(ui->gbLanSlave->width(), bottomOf(*ui->eClientStatus) + kGap);

    fitHeight(*ui->lComStatus, kComStatusHeight);
    ui->gbCom->resize(ui->gbCom->width(), bottomOf(*ui->lComStatus) + kGap);
}

void TfFrameLock::StretchToWidth() {
    if (width() == ui->gbSec->width()) {
        return;
    }
    for (QObject* child : children()) {
        if (auto* group = qobject_cast<QGroupBox*>(child)) {
            group->resize(width(), group->height());
        }
    }
    for (QWidget* control : std::initializer_list<QWidget*>{ui->eServerStatus, ui->lbConnected,
                                                            ui->eClientStatus, ui->lComStatus}) {
        stretchRight(*control, width());
    }
    FitToContents();
}

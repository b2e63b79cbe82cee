#include "tools/screenshots/form_check.h"

#include "storage/interface_entries.h"
#include "storage/property_lookup.h"
#include "ui_fFrameLock.h"

#include "widgets/gui/status_box.h"

#include <QAbstractButton>
#include <QPushButton>

namespace {

// Link groups sit at this top for a Master, in the place of the hidden navigation for a Slave.
constexpr int kMasterLinkTop = 428;
constexpr int kSlaveLinkTop = 336;
constexpr int kBottomMargin = 4;

// A status box must be read whole: it wraps, so its height must hold every line; a path in the
// file box may be longer than its box, whose hint shows it whole.
const TStatusBox* statusBox(const QWidget* w) {
    return qobject_cast<const TStatusBox*>(w);
}

QString textOf(const QWidget* w) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    return {};
}

// The form's own controls, not the parts that Qt's and our widgets build inside themselves.
bool designed(const QWidget& form, const QWidget* w) {
    const QWidget* parent = w->parentWidget();
    return parent == &form || qobject_cast<const QGroupBox*>(parent) ||
           parent == form.findChild<QWidget*>(QStringLiteral("pMaster")) ||
           parent == form.findChild<QWidget*>(QStringLiteral("pLan"));
}

QList<const QWidget*> visibleControls(const QWidget& form) {
    QList<const QWidget*> controls;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        if (w->isVisibleTo(&form) && designed(form, w)) {
            controls.append(w);
        }
    }
    return controls;
}

}  // namespace

void arrangeForm(Ui::TfFrameLock& ui, QWidget& form, FormArrangement arrangement) {
    const bool m = arrangement.master;
    const bool l = arrangement.lan;
    (m ? ui.rbMaster : ui.rbSlave)->setChecked(true);
    (l ? ui.rbLan : ui.rbCom)->setChecked(true);
    ui.gbMaster->setVisible(m);
    ui.gbSlave->setVisible(!m);
    ui.gbLanMaster->setVisible(l && m);
    ui.gbLanSlave->setVisible(l && !m);
    ui.gbCom->setVisible(!l);
    ui.lCom1Master->setVisible(m);
    ui.lCom2Master->setVisible(m);
    ui.lCom1Slave->setVisible(!m);
    ui.lCom2Slave->setVisible(!m);
    ui.gbNavigate->setVisible(m);
    ui.bGo->setVisible(m);
    ui.bDelete->setVisible(m);
    ui.lbCut->setEnabled(m);
    int bottom = 0;
    for (QGroupBox* link : {ui.gbLanMaster, ui.gbLanSlave, ui.gbCom}) {
        link->move(0, m ? kMasterLinkTop : kSlaveLinkTop);
        if (!link->isHidden()) {
            bottom = link->geometry().bottom() + 1;
        }
    }
    form.setFixedSize(form.width(), bottom + kBottomMargin);
}

QStringList unresolvedEntries(const QWidget& form) {
    QStringList unresolved;
    for (const std::string_view entry : kInterfaceEntries) {
        const QString key = QString::fromLatin1(entry.data(), qsizetype(entry.size()));
        const QStringList parts = key.split(u'.');
        const bool onForm = parts.size() == 2;
        const QObject* target = onForm ? &form : findOwnedComponent(&form, parts[1]);
        // "Items.Text" is the whole item list of a drop-down list.
        const QString property = onForm ? parts[1] : parts[2];
        if (parts[0] != form.objectName() || !target || !findProperty(target, property)) {
            unresolved.append(key);
        }
    }
    return unresolved;
}

QStringList cutTexts(const QWidget& form) {
    QStringList cut;
    for (const QWidget* w : visibleControls(form)) {
        QString text = textOf(w);
        int needed = 0;
        if (qobject_cast<const QPushButton*>(w)) {
            // A push button's size hint has a floor far above what its text needs.
            needed = w->fontMetrics().horizontalAdvance(text) + 12;
        } else if (const TStatusBox* status = statusBox(w)) {
            if (status->neededHeight(0) > status->height()) {
                cut.append(QStringLiteral("%1 \"%2\" needs %3 px height, has %4")
                               .arg(w->objectName(), text)
                               .arg(status->neededHeight(0))
                               .arg(status->height()));
            }
            continue;
        } else if (!text.isEmpty()) {
            needed = w->sizeHint().width();
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            text = group->title();
            needed = group->fontMetrics().horizontalAdvance(text) + 16;
        }
        if (needed > w->width()) {
            cut.append(QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                           .arg(w->objectName(), text)
                           .arg(needed)
                           .arg(w->width()));
        }
        if (!text.isEmpty() && w->minimumSizeHint().height() > w->height()) {
            cut.append(QStringLiteral("%1 needs %2 px height, has %3")
                           .arg(w->objectName())
                           .arg(w->minimumSizeHint().height())
                           .arg(w->height()));
        }
    }
    return cut;
}

QStringList overlappingControls(const QWidget& form) {
    QStringList overlaps;
    const QList<const QWidget*> controls = visibleControls(form);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget* a = controls[i];
        const QWidget* parent = a->parentWidget();
        if (!parent->rect().contains(a->geometry())) {
            overlaps.append(a->objectName() + QStringLiteral(" leaves ") + parent->objectName());
        }
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QWidget* b = controls[j];
            if (b->parentWidget() == parent && a->geometry().intersects(b->geometry())) {
                overlaps.append(a->objectName() + QStringLiteral(" overlaps ") + b->objectName());
            }
        }
    }
    return overlaps;
}

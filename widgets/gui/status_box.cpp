#include "widgets/gui/status_box.h"

#include <algorithm>

TStatusBox::TStatusBox(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setMargin(2);
    setFocusPolicy(Qt::StrongFocus);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void TStatusBox::setText(const QString& text) {
    QLabel::setText(text);
    updateToolTip();
}

void TStatusBox::setHint(const QString& hint) {
    hint_ = hint;
    updateToolTip();
}

int TStatusBox::neededHeight(int minimum) const {
    return std::max(minimum, heightForWidth(width()));
}

void TStatusBox::updateToolTip() {
    const QString shown = text();
    setToolTip(shown.isEmpty() || hint_.isEmpty() ? shown + hint_
                                                  : shown + QStringLiteral("\n\n") + hint_);
}

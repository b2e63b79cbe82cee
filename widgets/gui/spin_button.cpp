#include "widgets/gui/spin_button.h"

#include "widgets/gui/timer_speed_button.h"
#include "widgets/gui/widget_resources.h"

#include <QKeyEvent>

TSpinButton::TSpinButton(QWidget* parent)
    : QWidget(parent),
      upButton_(new TTimerSpeedButton(this)),
      downButton_(new TTimerSpeedButton(this)),
      focusedButton_(upButton_) {
    setObjectName(QStringLiteral("SpinButton"));
    upButton_->setObjectName(QStringLiteral("UpButton"));
    downButton_->setObjectName(QStringLiteral("DownButton"));
    for (TTimerSpeedButton* button : {upButton_, downButton_}) {
        button->setRepeating(true);
        button->OnMouseDown = [this](TTimerSpeedButton& b) { buttonMouseDown(b); };
        button->OnClick = [this](TTimerSpeedButton& b) { buttonClick(b); };
    }
    upButton_->setGlyph(loadResourceBitmap(QStringLiteral("SpinUp")), 1);
    downButton_->setGlyph(loadResourceBitmap(QStringLiteral("SpinDown")), 1);
    setFocusPolicy(Qt::NoFocus);
    resize(kMinimumWidth, 17);
}

QImage TSpinButton::UpGlyph() const {
    return upButton_->glyph();
}
void TSpinButton::setUpGlyph(const QImage& glyph) {
    upButton_->setGlyph(glyph, upButton_->glyphCount());
}
QImage TSpinButton::DownGlyph() const {
    return downButton_->glyph();
}
void TSpinButton::setDownGlyph(const QImage& glyph) {
    downButton_->setGlyph(glyph, downButton_->glyphCount());
}
int TSpinButton::UpNumGlyphs() const {
    return upButton_->glyphCount();
}
void TSpinButton::setUpNumGlyphs(int count) {
    upButton_->setGlyph(upButton_->glyph(), count);
}
int TSpinButton::DownNumGlyphs() const {
    return downButton_->glyphCount();
}
void TSpinButton::setDownNumGlyphs(int count) {
    downButton_->setGlyph(downButton_->glyph(), count);
}

bool TSpinButton::TabStop() const {
    return (focusPolicy() & Qt::TabFocus) != 0;
}
void TSpinButton::setTabStop(bool tabStop) {
    setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::NoFocus);
}

bool TSpinButton::canTakeFocus(const QWidget* widget) const {
    return widget != nullptr && (widget->focusPolicy() & Qt::TabFocus) != 0 &&
           widget->isEnabled() && widget->isVisible() && !widget->hasFocus();
}

void TSpinButton::buttonMouseDown(TTimerSpeedButton& button) {
    if (TabStop() && isEnabled() && isVisible()) {
        setFocusedButton(&button);
    }
    if (canTakeFocus(focusControl_)) {
        focusControl_->setFocus(Qt::MouseFocusReason);
    } else if (canTakeFocus(this)) {
        setFocus(Qt::MouseFocusReason);
    }
}

void TSpinButton::buttonClick(TTimerSpeedButton& button) {
    if (&button == upButton_) {
        if (OnUpClick) {
            OnUpClick(*this);
        }
    } else if (OnDownClick) {
        OnDownClick(*this);
    }
}

void TSpinButton::setFocusedButton(TTimerSpeedButton* button) {
    if (button == focusedButton_) {
        return;
    }
    focusedButton_->setFocusMark(false);
    focusedButton_ = button;
    focusedButton_->setFocusMark(hasFocus());
}

void TSpinButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (width() < kMinimumWidth) {
        resize(kMinimumWidth, height());
        return;
    }
    const int upHeight = height() / 2;
    upButton_->setGeometry(0, 0, width(), upHeight);
    // The down button starts one pixel above the end of the up button: the two share a line.
    downButton_->setGeometry(0, upHeight - 1, width(), height() - upHeight + 1);
}

void TSpinButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
            buttonClick(*focusedButton_);
            break;
        case Qt::Key_Up:
            setFocusedButton(upButton_);
            buttonClick(*upButton_);
            break;
        case Qt::Key_Down:
            setFocusedButton(downButton_);
            buttonClick(*downButton_);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TSpinButton::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    focusedButton_->setFocusMark(true);
}

void TSpinButton::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    focusedButton_->setFocusMark(false);
}

#include "widgets/gui/spin_edit.h"

#include "widgets/dialog_service.h"
#include "widgets/gui/spin_button.h"
#include "widgets/spin_value.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QValidator>

namespace {

// Width of the sunken frame drawn inside the edit's rectangle; the button sits within it.
constexpr int kFrameWidth = 2;

// Holds typed and pasted text to the box's MaxLength; QLineEdit does not validate setText, so
// the program's own writes pass whole.
class TypedLengthValidator : public QValidator {
public:
    explicit TypedLengthValidator(TSpinEdit& edit) : QValidator(&edit), edit_(edit) {}
    State validate(QString& input, int&) const override {
        const int limit = edit_.MaxLength();
        return limit > 0 && input.size() > limit ? Invalid : Acceptable;
    }

private:
    const TSpinEdit& edit_;
};

}  // namespace

TSpinEdit::TSpinEdit(DialogService& dialogs, QWidget* parent) : TSpinEdit(parent) {
    dialogs_ = &dialogs;
}

TSpinEdit::TSpinEdit(QWidget* parent) : QLineEdit(parent), button_(new TSpinButton(this)) {
    setValidator(new TypedLengthValidator(*this));
    button_->setFocusControl(this);
    button_->OnUpClick = [this](TSpinButton&) { UpClick(); };
    button_->OnDownClick = [this](TSpinButton&) { DownClick(); };
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) {
            OnChange(*this);
        }
    });
    setMinimumHeight(minimumEditHeight());
    placeButton();
}

std::int32_t TSpinEdit::Value() const {
    return spin::readValue(text(), minValue_);
}

void TSpinEdit::setValue(std::int32_t value) {
    setText(QString::number(spin::boundValue(value, minValue_, maxValue_)));
}

void TSpinEdit::step(bool up) {
    setValue(spin::stepValue(Value(), increment_, up, minValue_, maxValue_));
}

void TSpinEdit::UpClick() {
    if (isReadOnly()) {
        refuse();
        return;
    }
    step(true);
}

void TSpinEdit::DownClick() {
    if (isReadOnly()) {
        refuse();
        return;
    }
    step(false);
}

bool TSpinEdit::isValidChar(char16_t c) const {
    return spin::isValidKeyChar(c, QLocale().decimalPoint().front(), editorEnabled_);
}

bool TSpinEdit::KeyPress(char16_t c) {
    if (!isValidChar(c)) {
        refuse();
        return false;
    }
    return true;
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        UpClick();
    } else if (event->key() == Qt::Key_Down) {
        DownClick();
    }
    if (!editingAllowed() &&
        (event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste))) {
        event->accept();
        return;
    }
    // The Delete key edits as much as backspace does.
    if (!editorEnabled_ && event->key() == Qt::Key_Delete) {
        event->accept();
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && !KeyPress(typed.front().unicode())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TSpinEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    const bool byMouse = event->reason() == Qt::MouseFocusReason ||
                         (QApplication::mouseButtons() & Qt::LeftButton) != 0;
    if (autoSelect_ && !byMouse) {
        selectAll();
    } else if (!autoSelect_) {
        deselect();
    }
    if (!entered_) {
        entered_ = true;
        if (OnEnter) {
            OnEnter(*this);
        }
    }
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A menu popping up over the box, or the window losing activation, is no exit.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) {
        return;
    }
    leave();
}

bool TSpinEdit::event(QEvent* event) {
    // The window's focused control is settled before the focus events of an activation arrive.
    if (event->type() == QEvent::WindowActivate && entered_ && window()->focusWidget() != this) {
        leave();
    }
    return QLineEdit::event(event);
}

void TSpinEdit::leave() {
    if (!entered_) {
        return;
    }
    entered_ = false;
    const std::int32_t value = Value();
    if (spin::boundValue(value, minValue_, maxValue_) != value) {
        setValue(value);
    }
    if (OnExit) {
        OnExit(*this);
    }
}

void TSpinEdit::refuse() {
    if (dialogs_ != nullptr) {
        dialogs_->beep(BeepKind::Default);
    } else {
        QApplication::beep();
    }
}

int TSpinEdit::minimumEditHeight() const {
    constexpr int kBorderHeight = 1;
    const int fontHeight = fontMetrics().height();
    const int systemHeight = QFontMetrics(QApplication::font()).height();
    return 4 * kBorderHeight + fontHeight + qMin(fontHeight, systemHeight) / 4 + 2;
}

void TSpinEdit::placeButton() {
    const int buttonWidth = button_->width();
    if (hasFrame()) {
        button_->setGeometry(width() - buttonWidth - 3, kFrameWidth, buttonWidth, height() - 5);
    } else {
        button_->setGeometry(width() - buttonWidth, 1, buttonWidth, height() - 3);
    }
    // Typed text never runs under the buttons.
    setTextMargins(0, 0, buttonWidth + 2, 0);
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    placeButton();
}

void TSpinEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        setMinimumHeight(minimumEditHeight());
    }
}

void TSpinEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!editingAllowed()) {
        const QList<QAction*> actions = menu->actions();
        for (QAction* action : actions) {
            const QString name = action->objectName();
            if (name == QLatin1String("edit-cut") || name == QLatin1String("edit-paste") ||
                name == QLatin1String("edit-delete")) {
                action->setEnabled(false);
            }
        }
    }
    menu->popup(event->globalPos());
}

void TSpinEdit::dropEvent(QDropEvent* event) {
    if (!editingAllowed()) {
        event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}

void TSpinEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection on X11.
    if (event->button() == Qt::MiddleButton && !editingAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

#include "widgets/gui/kt_spin_edit.h"

#include "widgets/spin_value.h"

TktSpinEdit::TktSpinEdit(QWidget* parent) : TSpinEdit(parent) {}

TktSpinEdit::TktSpinEdit(DialogService& dialogs, QWidget* parent) : TSpinEdit(dialogs, parent) {}

void TktSpinEdit::UpClick() {
    step(true);
    newValue();
}

void TktSpinEdit::DownClick() {
    step(false);
    newValue();
}

bool TktSpinEdit::KeyPress(char16_t c) {
    if (!isValidChar(c)) {
        if (c == spin::kEnter) {
            setValue(Value());
            newValue();
        }
        return false;
    }
    return TSpinEdit::KeyPress(c);
}

void TktSpinEdit::newValue() {
    if (ktOnNewValue) {
        ktOnNewValue(*this);
    }
}

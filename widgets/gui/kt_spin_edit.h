#pragma once

#include "widgets/gui/spin_edit.h"

// The spin edit that reports each value the operator commits: by an arrow step (also when the box
// is read-only) or by Enter, which first tidies the text (a non-number becomes MinValue, a number
// is bounded and written in its plain decimal form). Invalid keys are dropped silently.
class TktSpinEdit : public TSpinEdit {
    Q_OBJECT

public:
    explicit TktSpinEdit(QWidget* parent = nullptr);
    explicit TktSpinEdit(DialogService& dialogs, QWidget* parent = nullptr);

    void UpClick() override;
    void DownClick() override;

    std::function<void(TktSpinEdit& sender)> ktOnNewValue;

protected:
    bool KeyPress(char16_t c) override;

private:
    void newValue();
};

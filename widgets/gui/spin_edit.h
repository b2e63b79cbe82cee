#pragma once

#include <QLineEdit>
#include <cstdint>
#include <functional>

class DialogService;
class TSpinButton;

// A one-line edit box for a whole number with a pair of repeating arrow buttons at its right
// edge. The number lives in the text: Value reads the text (MinValue when it is not a number) and
// writing Value writes the bounded number. Bounds apply only when MinValue != MaxValue. Refused
// keys and refused steps of a read-only box beep through the dialog layer, or through
// QApplication::beep() while none is set (a box a form builds with only its parent).
// User-interface thread only.
class TSpinEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE setValue)
    Q_PROPERTY(int MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int Increment READ Increment WRITE setIncrement)
    Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE setEditorEnabled)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE setAutoSelect)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE setMaxLength)
    Q_PROPERTY(bool ReadOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(QString Text READ text WRITE setText)

public:
    explicit TSpinEdit(QWidget* parent = nullptr);
    explicit TSpinEdit(DialogService& dialogs, QWidget* parent = nullptr);

    void setDialogs(DialogService* dialogs) { dialogs_ = dialogs; }

    std::int32_t Value() const;
    void setValue(std::int32_t value);
    std::int32_t MinValue() const { return minValue_; }
    void setMinValue(std::int32_t value) { minValue_ = value; }
    std::int32_t MaxValue() const { return maxValue_; }
    void setMaxValue(std::int32_t value) { maxValue_ = value; }
    std::int32_t Increment() const { return increment_; }
    void setIncrement(std::int32_t value) { increment_ = value; }
    // Typing, cutting and pasting allowed.
    bool EditorEnabled() const { return editorEnabled_; }
    void setEditorEnabled(bool enabled) { editorEnabled_ = enabled; }
    bool AutoSelect() const { return autoSelect_; }
    void setAutoSelect(bool autoSelect) { autoSelect_ = autoSelect; }
    // Longest text the operator may type or paste; 0 for no limit. Unlike QLineEdit's own limit
    // it never cuts text the program writes, so every 32-bit value fits whatever the limit.
    int MaxLength() const { return maxTypedLength_; }
    void setMaxLength(int length) { maxTypedLength_ = qMax(0, length); }

    TSpinButton* Button() const { return button_; }

    // One arrow step up or down; a read-only plain spin edit refuses it with a beep.
    virtual void UpClick();
    virtual void DownClick();

    // The smallest height that shows the font: 4 border heights, the font's height, a quarter of
    // the smaller of that and the system font's height, and 2.
    int minimumEditHeight() const;

    // Every change of the text, typed or written by the program.
    std::function<void(TSpinEdit& sender)> OnChange;
    // Entering and leaving count only focus moves between the window's controls: a window that
    // loses activation (a message box, the splash, another program) keeps its focused control,
    // so the operator may still be typing in it. Focus moved while the window was inactive
    // counts when the window is active again.
    std::function<void(TSpinEdit& sender)> OnEnter;
    std::function<void(TSpinEdit& sender)> OnExit;

protected:
    // Decides on one typed character: true lets the edit box handle it, false drops it.
    virtual bool KeyPress(char16_t c);
    bool isValidChar(char16_t c) const;
    void step(bool up);

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool editingAllowed() const { return editorEnabled_ && !isReadOnly(); }
    void placeButton();
    void refuse();
    void leave();

    DialogService* dialogs_ = nullptr;
    TSpinButton* button_;
    std::int32_t minValue_ = 0;
    std::int32_t maxValue_ = 0;
    std::int32_t increment_ = 1;
    bool editorEnabled_ = true;
    bool autoSelect_ = true;
    int maxTypedLength_ = 0;
    // Between OnEnter and OnExit.
    bool entered_ = false;
};

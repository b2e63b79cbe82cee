#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

class TTimerSpeedButton;

// Two repeating arrow buttons stacked as one control, the up button above the down button,
// overlapping by one pixel. Pressing either hands the keyboard focus to FocusControl (the spin
// edit). When the control itself has the focus, Space clicks the focused button and the arrow keys
// choose and click one. User-interface thread only.
class TSpinButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QImage UpGlyph READ UpGlyph WRITE setUpGlyph)
    Q_PROPERTY(QImage DownGlyph READ DownGlyph WRITE setDownGlyph)
    Q_PROPERTY(int UpNumGlyphs READ UpNumGlyphs WRITE setUpNumGlyphs)
    Q_PROPERTY(int DownNumGlyphs READ DownNumGlyphs WRITE setDownNumGlyphs)
    Q_PROPERTY(bool TabStop READ TabStop WRITE setTabStop)

public:
    static constexpr int kMinimumWidth = 15;

    explicit TSpinButton(QWidget* parent = nullptr);

    QImage UpGlyph() const;
    void setUpGlyph(const QImage& glyph);
    QImage DownGlyph() const;
    void setDownGlyph(const QImage& glyph);
    int UpNumGlyphs() const;
    void setUpNumGlyphs(int count);
    int DownNumGlyphs() const;
    void setDownNumGlyphs(int count);
    bool TabStop() const;
    void setTabStop(bool tabStop);

    // Takes the focus when a button is pressed; may be null.
    QWidget* FocusControl() const { return focusControl_; }
    void setFocusControl(QWidget* control) { focusControl_ = control; }

    TTimerSpeedButton* upButton() const { return upButton_; }
    TTimerSpeedButton* downButton() const { return downButton_; }
    TTimerSpeedButton* focusedButton() const { return focusedButton_; }

    std::function<void(TSpinButton& sender)> OnUpClick;
    std::function<void(TSpinButton& sender)> OnDownClick;

    QSize sizeHint() const override { return {kMinimumWidth, 17}; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void buttonMouseDown(TTimerSpeedButton& button);
    void buttonClick(TTimerSpeedButton& button);
    void setFocusedButton(TTimerSpeedButton* button);
    bool canTakeFocus(const QWidget* widget) const;

    TTimerSpeedButton* upButton_;
    TTimerSpeedButton* downButton_;
    TTimerSpeedButton* focusedButton_;
    QWidget* focusControl_ = nullptr;
};

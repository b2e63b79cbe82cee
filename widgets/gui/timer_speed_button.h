#pragma once

#include <QAbstractButton>
#include <QImage>
#include <functional>

class QTimer;

// A small push button that, held down with the left mouse button, repeats its click: once 400 ms
// after the press, then every 100 ms while it is still shown pressed, and once more at a release
// over the button. Moving the pointer off the button pauses the repetition, moving it back
// resumes it at the next 100 ms tick; a release off the button gives no last click.
//
// Qt's own auto-repeat is not used: it restarts with the full 400 ms delay when the pointer comes
// back onto the button, where this button resumes at once. User-interface thread only.
class TTimerSpeedButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 100;

    explicit TTimerSpeedButton(QWidget* parent = nullptr);

    // Repetition is allowed (both buttons of a spin button allow it).
    bool repeating() const { return repeating_; }
    void setRepeating(bool repeating) { repeating_ = repeating; }
    // The focus rectangle of the focused button of a focused spin button.
    bool focusMark() const { return focusMark_; }
    void setFocusMark(bool shown);
    // `image` holds `count` glyphs side by side: normal, disabled, pressed.
    void setGlyph(const QImage& image, int count);
    const QImage& glyph() const { return glyph_; }
    int glyphCount() const { return glyphCount_; }

    // A left-button press, before the button shows itself pressed.
    std::function<void(TTimerSpeedButton& sender)> OnMouseDown;
    // Every click: the release over the button and each repetition.
    std::function<void(TTimerSpeedButton& sender)> OnClick;

    QSize sizeHint() const override { return {15, 9}; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void repeatTimerTimer();
    void fireClick();

    bool repeating_ = false;
    bool focusMark_ = false;
    bool leftHeld_ = false;
    QImage glyph_;
    int glyphCount_ = 1;
    // Created at the first press; a child, so it goes with the button.
    QTimer* repeatTimer_ = nullptr;
};

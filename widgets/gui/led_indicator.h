#pragma once

#include "widgets/color_value.h"

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

class QTimer;

// A small lamp showing a Boolean in one of two colours, optionally blinking. It paints one of two
// prepared images: the style's bitmap with its green body recoloured to TrueColor (on) or
// FalseColor (off) and, without frame, its silver surround recoloured to BorderColor.
// User-interface thread only.
class TLedIndicator : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool Value READ Value WRITE setValue)
    Q_PROPERTY(int TrueColor READ TrueColor WRITE setTrueColor)
    Q_PROPERTY(int FalseColor READ FalseColor WRITE setFalseColor)
    Q_PROPERTY(int BorderColor READ BorderColor WRITE setBorderColor)
    Q_PROPERTY(bool Bordered READ Bordered WRITE setBordered)
    Q_PROPERTY(bool Blink READ Blink WRITE setBlink)
    Q_PROPERTY(int Interval READ Interval WRITE setInterval)
    Q_PROPERTY(TLEDStyle LEDStyle READ LEDStyle WRITE setLEDStyle)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE setShowHint)

public:
    enum TLEDStyle { LEDSmall, LEDLarge, LEDSqSmall, LEDSqLarge, LEDVertical, LEDHorizontal };
    Q_ENUM(TLEDStyle)

    explicit TLedIndicator(QWidget* parent = nullptr);
    ~TLedIndicator() override;

    bool Value() const { return value_; }
    void setValue(bool value);
    TColor TrueColor() const { return trueColor_; }
    void setTrueColor(TColor color);
    TColor FalseColor() const { return falseColor_; }
    void setFalseColor(TColor color);
    TColor BorderColor() const { return borderColor_; }
    void setBorderColor(TColor color);
    bool Bordered() const { return bordered_; }
    void setBordered(bool bordered);
    bool Blink() const { return blink_; }
    void setBlink(bool blink);
    // Blink half-period in milliseconds.
    int Interval() const { return interval_; }
    void setInterval(int milliseconds);
    TLEDStyle LEDStyle() const { return style_; }
    void setLEDStyle(TLEDStyle style);
    QString Hint() const { return hint_; }
    void setHint(const QString& hint);
    bool ShowHint() const { return showHint_; }
    void setShowHint(bool show);

    // The image on screen now, and the two prepared ones.
    const QImage& currentImage() const { return showingOn_ ? onImage_ : offImage_; }
    const QImage& onImage() const { return onImage_; }
    const QImage& offImage() const { return offImage_; }
    bool isBlinking() const { return blinkTimer_ != nullptr; }

    static QSize sizeForStyle(TLEDStyle style);
    static QString bitmapName(TLEDStyle style, bool bordered);

    QSize sizeHint() const override { return sizeForStyle(style_); }

    // Called at every blink step, after the new image is drawn.
    std::function<void(TLedIndicator& sender)> OnTimer;
    std::function<void(TLedIndicator& sender)> OnMouseEnter;
    std::function<void(TLedIndicator& sender)> OnMouseLeave;
    std::function<void(TLedIndicator& sender)> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void prepareImages();
    void drawImage(bool on);
    void startBlinking();
    void stopBlinking();
    void blinkTimerTimer();
    void setColor(TColor& member, TColor color);

    bool value_ = false;
    TColor trueColor_ = colors::clLime;
    TColor falseColor_ = colors::clSilver;
    TColor borderColor_ = colors::clBtnFace;
    bool bordered_ = true;
    bool blink_ = true;
    int interval_ = 1000;
    TLEDStyle style_ = LEDSmall;
    QString hint_;
    // The main window shows hints; its lamps follow it.
    bool showHint_ = true;

    QImage onImage_;
    QImage offImage_;
    bool showingOn_ = false;
    bool pressed_ = false;
    // Exists only while blinking.
    std::unique_ptr<QTimer> blinkTimer_;
};

#include "widgets/gui/led_indicator.h"

#include "widgets/flood_fill.h"
#include "widgets/gui/widget_resources.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

constexpr std::uint32_t kBodyColor = 0xFF00FF00u;
constexpr std::uint32_t kSurroundColor = 0xFFC0C0C0u;

PixelGrid gridOf(QImage& image) {
    return {reinterpret_cast<std::uint32_t*>(image.bits()), image.width(), image.height(),
            image.bytesPerLine() / 4};
}

}  // namespace

TLedIndicator::TLedIndicator(QWidget* parent) : QWidget(parent) {
    prepareImages();
}

TLedIndicator::~TLedIndicator() = default;

QSize TLedIndicator::sizeForStyle(TLEDStyle style) {
    switch (style) {
        case LEDLarge:
        case LEDSqLarge:
            return {22, 22};
        case LEDVertical:
            return {16, 22};
        case LEDHorizontal:
            return {22, 16};
        case LEDSmall:
        case LEDSqSmall:
            break;
    }
    return {16, 16};
}

QString TLedIndicator::bitmapName(TLEDStyle style, bool bordered) {
    QString shape;
    switch (style) {
        case LEDSmall:
            shape = QStringLiteral("SM");
            break;
        case LEDLarge:
            shape = QStringLiteral("LG");
            break;
        case LEDSqSmall:
            shape = QStringLiteral("SQSM");
            break;
        case LEDSqLarge:
            shape = QStringLiteral("SQLG");
            break;
        case LEDVertical:
            shape = QStringLiteral("VT");
            break;
        case LEDHorizontal:
            shape = QStringLiteral("HZ");
            break;
    }
    return (bordered ? QStringLiteral("B") : QStringLiteral("N")) + shape;
}

void TLedIndicator::prepareImages() {
    setFixedSize(sizeForStyle(style_));
    const QImage face =
        loadResourceBitmap(bitmapName(style_, bordered_)).convertToFormat(QImage::Format_RGB32);
    onImage_ = face.copy();
    offImage_ = face.copy();
    // System colours are resolved now; a later palette change does not recolour the lamp.
    const QPalette& pal = palette();
    const int cx = face.width() / 2;
    const int cy = face.height() / 2;
    floodFill(gridOf(onImage_), cx, cy, kBodyColor, resolveColor(trueColor_, pal).rgb());
    floodFill(gridOf(offImage_), cx, cy, kBodyColor, resolveColor(falseColor_, pal).rgb());
    if (!bordered_) {
        const std::uint32_t border = resolveColor(borderColor_, pal).rgb();
        floodFill(gridOf(onImage_), 0, 0, kSurroundColor, border);
        floodFill(gridOf(offImage_), 0, 0, kSurroundColor, border);
    }
}

void TLedIndicator::drawImage(bool on) {
    showingOn_ = on;
    // The lamp changes at once, not at the next paint cycle: a flash of 150 ms must be seen.
    if (isVisible()) {
        repaint();
    }
}

void TLedIndicator::setValue(bool value) {
    if (value == value_) {
        return;
    }
    value_ = value;
    if (value_) {
        drawImage(true);
        if (blink_) {
            startBlinking();
        }
    } else {
        stopBlinking();
        drawImage(false);
    }
}

void TLedIndicator::startBlinking() {
    if (blinkTimer_) {
        return;
    }
    showingOn_ = true;
    blinkTimer_ = std::make_unique<QTimer>();
    blinkTimer_->setInterval(interval_);
    connect(blinkTimer_.get(), &QTimer::timeout, this, &TLedIndicator::blinkTimerTimer);
    blinkTimer_->start();
}

void TLedIndicator::stopBlinking() {
    blinkTimer_.reset();
}

void TLedIndicator::blinkTimerTimer() {
    drawImage(!showingOn_);
    if (OnTimer) {
        OnTimer(*this);
    }
}

void TLedIndicator::setBlink(bool blink) {
    if (blink == blink_) {
        return;
    }
    drawImage(value_);
    blink_ = blink;
    if (blink_ && value_) {
        startBlinking();
    } else {
        stopBlinking();
    }
}

void TLedIndicator::setColor(TColor& member, TColor color) {
    if (member == color) {
        return;
    }
    const bool wasBlinking = blink_;
    if (wasBlinking) {
        setBlink(false);
    }
    member = color;
    prepareImages();
    setBlink(wasBlinking);
    update();
}

void TLedIndicator::setTrueColor(TColor color) {
    setColor(trueColor_, color);
}
void TLedIndicator::setFalseColor(TColor color) {
    setColor(falseColor_, color);
}
void TLedIndicator::setBorderColor(TColor color) {
    setColor(borderColor_, color);
}

void TLedIndicator::setBordered(bool bordered) {
    if (bordered == bordered_) {
        return;
    }
    bordered_ = bordered;
    prepareImages();
    update();
}

void TLedIndicator::setLEDStyle(TLEDStyle style) {
    if (style == style_) {
        return;
    }
    style_ = style;
    prepareImages();
    update();
}

void TLedIndicator::setInterval(int milliseconds) {
    interval_ = milliseconds;
    if (blinkTimer_) {
        blinkTimer_->setInterval(milliseconds);
    }
}

void TLedIndicator::setHint(const QString& hint) {
    if (hint == hint_) {
        return;
    }
    hint_ = hint;
    setToolTip(showHint_ ? hint_ : QString());
}

void TLedIndicator::setShowHint(bool show) {
    if (show == showHint_) {
        return;
    }
    showHint_ = show;
    setToolTip(showHint_ ? hint_ : QString());
}

void TLedIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(rect(), currentImage());
}

void TLedIndicator::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (OnMouseEnter) {
        OnMouseEnter(*this);
    }
}

void TLedIndicator::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (OnMouseLeave) {
        OnMouseLeave(*this);
    }
}

void TLedIndicator::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

void TLedIndicator::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click && OnClick) {
        OnClick(*this);
    }
}

#include "widgets/gui/timer_speed_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>

TTimerSpeedButton::TTimerSpeedButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, &TTimerSpeedButton::fireClick);
}

void TTimerSpeedButton::setFocusMark(bool shown) {
    if (shown != focusMark_) {
        focusMark_ = shown;
        update();
    }
}

void TTimerSpeedButton::setGlyph(const QImage& image, int count) {
    glyphCount_ = qMax(1, count);
    // The colour of the bottom-left pixel is the glyph's background and is drawn transparent.
    QImage glyph = image.convertToFormat(QImage::Format_ARGB32);
    if (!glyph.isNull()) {
        const QRgb background = glyph.pixel(0, glyph.height() - 1);
        for (int y = 0; y < glyph.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(glyph.scanLine(y));
            for (int x = 0; x < glyph.width(); ++x) {
                if (line[x] == background) {
                    line[x] = qRgba(0, 0, 0, 0);
                }
            }
        }
    }
    glyph_ = glyph;
    update();
}

void TTimerSpeedButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        leftHeld_ = true;
        if (OnMouseDown) {
            OnMouseDown(*this);
        }
        if (repeating_) {
            if (repeatTimer_ == nullptr) {
                repeatTimer_ = new QTimer(this);
                // A coarse timer may fire up to 5 % early; the cadence is part of the contract.
                repeatTimer_->setTimerType(Qt::PreciseTimer);
                connect(repeatTimer_, &QTimer::timeout, this, &TTimerSpeedButton::repeatTimerTimer);
            }
            repeatTimer_->start(kRepeatDelayMs);
        }
    }
    QAbstractButton::mousePressEvent(event);
}

void TTimerSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        leftHeld_ = false;
        if (repeatTimer_ != nullptr) {
            repeatTimer_->stop();
        }
    }
    // Gives the last click when the release is over the button.
    QAbstractButton::mouseReleaseEvent(event);
}

void TTimerSpeedButton::repeatTimerTimer() {
    repeatTimer_->setInterval(kRepeatIntervalMs);
    // isDown() follows the pointer while the button holds the (implicit) mouse grab.
    if (isDown() && leftHeld_) {
        fireClick();
    }
}

void TTimerSpeedButton::fireClick() {
    if (OnClick) {
        OnClick(*this);
    }
}

void TTimerSpeedButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);

    const int shift = isDown() ? 1 : 0;
    if (!glyph_.isNull()) {
        const int width = glyph_.width() / glyphCount_;
        int index = 0;
        if (!isEnabled() && glyphCount_ > 1) {
            index = 1;
        } else if (isDown() && glyphCount_ > 2) {
            index = 2;
        }
        QPixmap face = QPixmap::fromImage(glyph_.copy(index * width, 0, width, glyph_.height()));
        if (!isEnabled() && glyphCount_ == 1) {
            face = style()->generatedIconPixmap(QIcon::Disabled, face, &option);
        }
        const QPoint at((this->width() - width) / 2 + shift,
                        (height() - glyph_.height()) / 2 + shift);
        painter.drawPixmap(at, face);
    }
    if (focusMark_) {
        const QRect mark = rect().adjusted(3, 3, -3, -3).translated(shift, shift);
        QPen pen(palette().color(QPalette::ButtonText), 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(mark.adjusted(0, 0, -1, -1));
    }
}

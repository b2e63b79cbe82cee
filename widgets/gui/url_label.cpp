#include "widgets/gui/url_label.h"

#include "widgets/dialog_service.h"
#include "widgets/gui/widget_resources.h"
#include "widgets/product_info.h"

#include <QMouseEvent>
#include <QPointer>

TktWURLLabel::TktWURLLabel(DialogService& dialogs, QWidget* parent)
    : QLabel(parent), dialogs_(dialogs), webPage_(product::kPlaceholderWebPage) {
    // Plain text without a buddy: "&" is drawn, never taken as a key marker.
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    applyFontColor();
}

void TktWURLLabel::setFontColor(TColor color) {
    if (color == fontColor_) {
        return;
    }
    fontColor_ = color;
    applyFontColor();
}

void TktWURLLabel::applyFontColor() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, resolveColor(fontColor_, QPalette()));
    setPalette(pal);
}

bool TktWURLLabel::Click() {
    if (OnClick) {
        OnClick(*this);
    }
    // The handler may give up after the label is gone.
    const QPointer<TktWURLLabel> self(this);
    const auto failed = [self] {
        if (self && self->OnOpenFailed) {
            self->OnOpenFailed(*self);
        }
    };
    const bool handedOver = dialogs_.shellOpen(webPage_, failed);
    if (!handedOver) {
        failed();
    }
    return handedOver;
}

void TktWURLLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void TktWURLLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) {
        Click();
    }
}

void TktWURLLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    // The font may be replaced by the owner (size, family): keep the underline.
    if (event->type() == QEvent::FontChange && !font().underline()) {
        QFont underlined = font();
        underlined.setUnderline(true);
        setFont(underlined);
    }
}

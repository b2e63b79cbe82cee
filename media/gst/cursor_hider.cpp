#include "media/gst/cursor_hider.h"

#include <QMouseEvent>
#include <QWidget>

CursorHider::CursorHider(QWidget* window, std::chrono::milliseconds idle) : window_(window) {
    idle_.setSingleShot(true);
    idle_.setInterval(idle);
    connect(&idle_, &QTimer::timeout, this, [this] { hideCursor(); });
    // Movement without a button held reaches the window only with tracking on.
    window_->setMouseTracking(true);
    window_->installEventFilter(this);
}

void CursorHider::setEnabled(bool on) {
    enabled_ = on;
    if (on) {
        idle_.start();
    } else {
        idle_.stop();
        showCursor();
    }
}

bool CursorHider::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::MouseMove) {
        const QPointF position = static_cast<QMouseEvent*>(event)->globalPosition();
        if (position != lastPosition_) {
            lastPosition_ = position;
            showCursor();
            if (enabled_) {
                idle_.start();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void CursorHider::showCursor() {
    if (hidden_) {
        hidden_ = false;
        window_->unsetCursor();
    }
}

void CursorHider::hideCursor() {
    if (enabled_ && !hidden_) {
        hidden_ = true;
        window_->setCursor(Qt::BlankCursor);
    }
}

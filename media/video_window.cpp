#include "media/video_window.h"

#include "media/video_sink.h"

#include <gst/video/videooverlay.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>
#include <memory>

VideoWindow::VideoWindow() {
    // The sink draws straight into the native window; Qt must neither paint over the picture
    // nor back the window with its own buffer, or the paused frame would be wiped on expose.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // Creates the native window now, not at the first show: the sink needs its id to preroll.
    winId();
}

VideoWindow::~VideoWindow() {
    if (overlay_ != nullptr) {
        gst_object_unref(overlay_);
    }
    if (scaledSink_ != nullptr) {
        gst_object_unref(scaledSink_);
    }
}

void VideoWindow::attach(GstElement* overlay, GstElement* scaledSink) {
    overlay_ = overlay != nullptr ? GST_ELEMENT(gst_object_ref(overlay)) : nullptr;
    scaledSink_ = scaledSink != nullptr ? GST_ELEMENT(gst_object_ref(scaledSink)) : nullptr;
    updateRenderArea();
}

void VideoWindow::setNaturalSize(QSize size) {
    naturalSize_ = size;
    resize(size);
}

void VideoWindow::setFullScreenMode(bool on) {
    if (on == fullScreen_) {
        return;
    }
    if (!on) {
        leaveFullScreen();
        return;
    }
    QScreen* target = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    normalGeometry_ = geometry();
    normalFlags_ = windowFlags();
    fullScreen_ = true;
    // overrideWindowFlags() keeps the native window (setWindowFlags() would recreate it and
    // the sink would lose its drawable); the QWindow passes the change to the server.
    const Qt::WindowFlags frameless = normalFlags_ | Qt::FramelessWindowHint;
    overrideWindowFlags(frameless);
    windowHandle()->setFlags(frameless);
    setGeometry(target->geometry());
    showFullScreen();
    raise();
    activateWindow();
}

void VideoWindow::leaveFullScreen() {
    fullScreen_ = false;
    overrideWindowFlags(normalFlags_);
    windowHandle()->setFlags(normalFlags_);
    showNormal();
    setGeometry(normalGeometry_);
}

bool VideoWindow::event(QEvent* event) {
    if (event->type() == QEvent::WinIdChange) {
        if (overlay_ != nullptr) {
            gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(overlay_), winId());
        }
    }
    return QWidget::event(event);
}

void VideoWindow::paintEvent(QPaintEvent*) {
    if (overlay_ != nullptr) {
        gst_video_overlay_expose(GST_VIDEO_OVERLAY(overlay_));
    }
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateRenderArea();
}

void VideoWindow::updateRenderArea() {
    const qreal ratio = devicePixelRatio();
    const int w = qRound(width() * ratio);
    const int h = qRound(height() * ratio);
    fitVideoSink(scaledSink_, w, h);
    if (overlay_ != nullptr) {
        gst_video_overlay_set_render_rectangle(GST_VIDEO_OVERLAY(overlay_), 0, 0, w, h);
        gst_video_overlay_expose(GST_VIDEO_OVERLAY(overlay_));
    }
}

void VideoWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (onClosed) {
        onClosed();
    }
}

void VideoWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && fullScreen_ &&
        !windowState().testFlag(Qt::WindowFullScreen)) {
        // The window manager took the window out of full screen (a key binding, another
        // window going full screen): restore the windowed look and tell the owner.
        leaveFullScreen();
        if (onFullScreenLost) {
            onFullScreenLost();
        }
    }
}

bool VideoWindow::forwardToDrain(QEvent* event) {
    if (drain_ == nullptr) {
        return false;
    }
    std::unique_ptr<QEvent> copy(event->clone());
    QCoreApplication::sendEvent(drain_, copy.get());
    return true;
}

void VideoWindow::keyPressEvent(QKeyEvent* event) {
    if (!forwardToDrain(event)) {
        QWidget::keyPressEvent(event);
    }
}

void VideoWindow::keyReleaseEvent(QKeyEvent* event) {
    if (!forwardToDrain(event)) {
        QWidget::keyReleaseEvent(event);
    }
}

void VideoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!forwardToDrain(event)) {
        QWidget::mouseDoubleClickEvent(event);
    }
}

#include "media/gst/video_surface.h"

#include "media/gst/video_sink.h"

#include <gst/video/videooverlay.h>

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QWindow>

#include <cstdlib>

namespace {

// Waits until the X server has handled every request made so far on Qt's connection.
void syncWithServer() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

}  // namespace

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent) {
    // The sink draws straight into the native window; Qt must neither paint over the picture
    // nor back the window with its own buffer, or the paused frame would be wiped on expose.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(parent->rect());
    winId();
    // Over the whole window, the surfaces must not take its input at the X server either:
    // pointer motion there is what shows a cursor hidden in full screen again.
    windowHandle()->setFlag(Qt::WindowTransparentForInput);
    // The sink draws through its own X connection: a window id the server does not know yet
    // would be a BadWindow there, which ends the process.
    syncWithServer();
}

VideoSurface::~VideoSurface() {
    for (GstElement* element : {overlay_, scaledSink_}) {
        if (element != nullptr) {
            gst_object_unref(element);
        }
    }
}

void VideoSurface::attach(GstElement* overlay, GstElement* scaledSink) {
    overlay_ = overlay != nullptr ? GST_ELEMENT(gst_object_ref(overlay)) : nullptr;
    scaledSink_ = scaledSink != nullptr ? GST_ELEMENT(gst_object_ref(scaledSink)) : nullptr;
    fit(parentWidget()->rect(), devicePixelRatio());
}

void VideoSurface::expose() {
    if (overlay_ != nullptr) {
        gst_video_overlay_expose(GST_VIDEO_OVERLAY(overlay_));
    }
}

void VideoSurface::fit(QRect area, qreal pixelRatio) {
    setGeometry(area);
    const int w = qRound(area.width() * pixelRatio);
    const int h = qRound(area.height() * pixelRatio);
    fitVideoSink(scaledSink_, w, h);
    if (overlay_ != nullptr) {
        gst_video_overlay_set_render_rectangle(GST_VIDEO_OVERLAY(overlay_), 0, 0, w, h);
        expose();
    }
}

bool VideoSurface::event(QEvent* event) {
    if (event->type() == QEvent::WinIdChange && overlay_ != nullptr) {
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(overlay_), winId());
    }
    return QWidget::event(event);
}

void VideoSurface::paintEvent(QPaintEvent*) {
    expose();
}

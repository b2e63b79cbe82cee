#pragma once

#include <gst/gst.h>

#include <QWidget>

// A native child window that one video sink draws into, covering the video window. Qt paints
// nothing there, and the mouse goes to the video window itself (double clicks are its input).
// Its native window exists on the X server once made, as a sink with its own X connection needs.
// UI thread only.
class VideoSurface final : public QWidget {
public:
    explicit VideoSurface(QWidget* parent);
    ~VideoSurface() override;

    // The element that draws (a playbin or an overlay sink) and the sink whose scaling follows
    // the surface; either may be nullptr. Both are referenced until the surface goes.
    void attach(GstElement* overlay, GstElement* scaledSink);
    // Draws the picture again at once, without waiting for the server's expose.
    void expose();
    // Follows the video window's area, in device pixels for the sink.
    void fit(QRect area, qreal pixelRatio);

protected:
    QPaintEngine* paintEngine() const override { return nullptr; }
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    GstElement* overlay_ = nullptr;
    GstElement* scaledSink_ = nullptr;
};

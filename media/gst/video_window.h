#pragma once

#include <gst/gst.h>

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class CursorHider;
class VideoSurface;
class NetWmState;

// The top-level window a graph's video sink draws into (GstVideoOverlay). It shows the video at
// its natural size, switches to and from full screen on the screen it stands on, and forwards
// keys and double clicks to the message drain when one is set. In full screen the cursor hides
// while the mouse rests.
// UI thread only; the native window exists from construction, so its id can be handed to the
// streaming threads before the sink asks for it.
class VideoWindow final : public QWidget {
    Q_OBJECT
public:
    VideoWindow();
    ~VideoWindow() override;

    // The window's two surfaces, 0 and 1, each a native window one pipeline draws into; the
    // id of one exists on the X server when this returns. Surface 0 is seen until another is
    // shown.
    WId surface(int index) const;
    // The surface's drawing element and scaled sink (either may be nullptr), referenced until
    // the window goes.
    void attach(int index, GstElement* overlay, GstElement* scaledSink);
    // Shows the surface in front of the other, and draws its picture again at once.
    void showSurface(int index);
    void setNaturalSize(QSize size);
    QSize naturalSize() const { return naturalSize_; }

    // Full screen on the screen the window stands on. With a window manager this is its
    // full-screen state, and leaving it lets the window manager restore the window's place;
    // without one (kiosk sessions, bare X servers) showFullScreen() does nothing, so the
    // window goes frameless at the screen's geometry and back.
    void setFullScreenMode(bool on);
    bool fullScreenMode() const { return fullScreen_; }

    // Places the window's frame (title bar and borders included) with its top-left corner at
    // position. A window manager frames the window only once it is shown; the position is then
    // applied again, so the frame and not the picture lands there.
    void moveFrameTo(QPoint position);
    QPoint framePosition() const {
        return pendingFramePosition_.value_or(frameGeometry().topLeft());
    }

    QObject* messageDrain() const { return drain_; }
    void setMessageDrain(QObject* drain) { drain_ = drain; }

    // Raised when the user closes the window, and when the window manager takes it out of full
    // screen. Called on the UI thread from within the window's event handling: handlers must not
    // delete the window.
    std::function<void()> onClosed;
    std::function<void()> onFullScreenLost;

protected:
    QPaintEngine* paintEngine() const override { return nullptr; }
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool forwardToDrain(QEvent* event);
    void enterBareFullScreen();
    void leaveBareFullScreen();
    void netWmStateChanged();
    void askWindowManager();
    void updateRenderArea();
    void placePendingFrame();

    std::array<VideoSurface*, 2> surfaces_{};  // children, owned by this window
    QSize naturalSize_;
    // Where the frame is to go until a window manager has framed the window there.
    std::optional<QPoint> pendingFramePosition_;
    int framePlacementTries_ = 0;
    QPointer<QObject> drain_;
    bool fullScreen_ = false;
    // Whether a window manager ran when full screen was entered.
    bool managed_ = false;
    // With a window manager, one request at a time is on its way (the state asked for, until
    // the window manager shows it), so that each change of the window's state can be told
    // apart as an answer or as the window manager's own doing.
    std::optional<bool> requested_;
    bool shownFullScreen_ = false;
    std::unique_ptr<NetWmState> netWmState_;
    std::unique_ptr<CursorHider> cursorHider_;
    QRect normalGeometry_;
    Qt::WindowFlags normalFlags_;
};

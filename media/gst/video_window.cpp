#include "media/gst/video_window.h"

#include "media/gst/cursor_hider.h"
#include "media/gst/net_wm_state.h"
#include "media/gst/video_surface.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QScreen>
#include <QWindow>

#include <chrono>
#include <memory>
#include <utility>

VideoWindow::VideoWindow() {
    // The surfaces cover the window; Qt must neither paint under them nor back the window with
    // its own buffer, or a paused frame would be wiped on expose.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // The owner hides while the video runs full screen, so this may be the last window shown;
    // closing it closes the media and brings the owner back, it must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Creates the native windows now, not at the first show: a sink needs its id to preroll.
    netWmState_ = std::make_unique<NetWmState>(winId());
    for (VideoSurface*& surface : surfaces_) {
        surface = new VideoSurface(this);
    }
    surfaces_[1]->hide();
    netWmState_->onChanged = [this] { netWmStateChanged(); };
    // Framing moves the frame, not the window's contents, so no move event tells of it; Qt reads
    // the new extents after this notice, hence the queued call.
    netWmState_->onFrameChanged = [this] {
        QMetaObject::invokeMethod(
            this, [this] { placePendingFrame(); }, Qt::QueuedConnection);
    };
    // As the players installers know: about a second of rest hides the cursor over the show.
    cursorHider_ = std::make_unique<CursorHider>(this, std::chrono::seconds(1));
}

VideoWindow::~VideoWindow() = default;

WId VideoWindow::surface(int index) const {
    return surfaces_.at(static_cast<std::size_t>(index))->winId();
}

void VideoWindow::attach(int index, GstElement* overlay, GstElement* scaledSink) {
    surfaces_.at(static_cast<std::size_t>(index))->attach(overlay, scaledSink);
}

void VideoWindow::showSurface(int index) {
    VideoSurface* shown = surfaces_.at(static_cast<std::size_t>(index));
    shown->show();
    shown->raise();
    for (VideoSurface* other : surfaces_) {
        if (other != shown) {
            other->hide();
        }
    }
    // Without this the old picture would stay until the server's own expose comes round.
    shown->expose();
}

void VideoWindow::setNaturalSize(QSize size) {
    naturalSize_ = size;
    resize(size);
}

void VideoWindow::moveFrameTo(QPoint position) {
    pendingFramePosition_ = position;
    framePlacementTries_ = 0;
    move(position);
}

void VideoWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    placePendingFrame();
}

void VideoWindow::placePendingFrame() {
    if (!pendingFramePosition_ || frameGeometry() == geometry()) {
        return;  // nothing asked for, or not framed (yet, or never without a window manager)
    }
    // Framed: Qt now knows the frame, and move() places it. A window manager that insists on
    // another place wins after a few tries.
    constexpr int MaxTries = 3;
    if (frameGeometry().topLeft() == *pendingFramePosition_ || ++framePlacementTries_ > MaxTries) {
        pendingFramePosition_.reset();
        return;
    }
    move(*pendingFramePosition_);
}

void VideoWindow::setFullScreenMode(bool on) {
    if (on == fullScreen_) {
        return;
    }
    fullScreen_ = on;
    cursorHider_->setEnabled(on);
    pendingFramePosition_.reset();
    if (on) {
        managed_ = netWmState_->windowManagerRunning();
    }
    if (managed_) {
        if (on) {
            show();
            raise();
            activateWindow();
        }
        askWindowManager();
    } else if (on) {
        enterBareFullScreen();
    } else {
        leaveBareFullScreen();
    }
}

void VideoWindow::enterBareFullScreen() {
    normalGeometry_ = geometry();
    normalFlags_ = windowFlags();
    QScreen* target = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
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

void VideoWindow::leaveBareFullScreen() {
    overrideWindowFlags(normalFlags_);
    windowHandle()->setFlags(normalFlags_);
    showNormal();
    setGeometry(normalGeometry_);
}

void VideoWindow::askWindowManager() {
    if (requested_) {
        return;  // the answer to the request on its way asks again if needed
    }
    shownFullScreen_ = netWmState_->fullScreen().value_or(false);
    if (shownFullScreen_ == fullScreen_) {
        return;
    }
    // The request goes to the window manager directly: Qt's idea of the window's state lags
    // behind the window manager's, and Qt sends nothing when it believes the state is reached.
    // The window manager restores the window's place when it leaves full screen.
    requested_ = fullScreen_;
    netWmState_->requestFullScreen(fullScreen_);
}

void VideoWindow::netWmStateChanged() {
    const std::optional<bool> shown = netWmState_->fullScreen();
    if (!managed_ || !shown) {
        return;
    }
    const bool wasShown = std::exchange(shownFullScreen_, *shown);
    if (requested_) {
        if (*shown == *requested_) {
            requested_.reset();
            askWindowManager();
        }
        return;
    }
    if (wasShown && !*shown && fullScreen_) {
        // The window manager took the window out of full screen (a key binding, another
        // window going full screen); it has restored the window's place itself.
        fullScreen_ = false;
        cursorHider_->setEnabled(false);
        if (onFullScreenLost) {
            onFullScreenLost();
        }
    }
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateRenderArea();
}

void VideoWindow::updateRenderArea() {
    for (VideoSurface* surface : surfaces_) {
        surface->fit(rect(), devicePixelRatio());
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
    if (event->type() != QEvent::WindowStateChange || !fullScreen_ ||
        windowState().testFlag(Qt::WindowFullScreen)) {
        return;
    }
    // A window manager's changes are judged from the server's state (Qt's reports may repeat
    // the answer to an earlier request). Without one, a change made in this process, or on a
    // platform other than X11, is taken as Qt reports it.
    if (managed_ && netWmState_->available()) {
        return;
    }
    fullScreen_ = false;
    cursorHider_->setEnabled(false);
    leaveBareFullScreen();
    if (onFullScreenLost) {
        onFullScreenLost();
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

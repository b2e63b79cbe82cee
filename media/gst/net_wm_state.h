#pragma once

#include <QAbstractNativeEventFilter>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

struct xcb_connection_t;

// The window manager's view of a top-level window on X11 (EWMH), read straight from the X
// server: Qt's own window state reports may lag behind, or repeat a state asked for earlier.
// UI thread only. Without an X11 connection (other platforms) nothing is known.
class NetWmState final : public QAbstractNativeEventFilter {
public:
    explicit NetWmState(WId window);
    ~NetWmState() override;
    NetWmState(const NetWmState&) = delete;
    NetWmState& operator=(const NetWmState&) = delete;

    bool available() const { return connection_ != nullptr; }

    // True when an EWMH window manager has taken the screen.
    bool windowManagerRunning() const;
    // Whether the window's _NET_WM_STATE holds the full-screen state now; nullopt when it
    // cannot be read.
    std::optional<bool> fullScreen() const;

    // Asks the window manager to put the window into or out of full screen (an EWMH
    // _NET_WM_STATE request, sent whatever state Qt believes the window to be in). The answer
    // comes as a change of the window's state.
    void requestFullScreen(bool on) const;

    // Called whenever the window manager rewrites the window's state, before Qt sees it.
    std::function<void()> onChanged;
    // Called when the window manager sets the window's frame extents (it has framed the
    // window), before Qt sees them.
    std::function<void()> onFrameChanged;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::uint32_t atom(const char* name) const;

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t window_ = 0;
    std::uint32_t root_ = 0;
    std::uint32_t stateAtom_ = 0;
    std::uint32_t fullScreenAtom_ = 0;
    std::uint32_t frameExtentsAtom_ = 0;
};

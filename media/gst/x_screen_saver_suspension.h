#pragma once

#include <memory>

struct _XDisplay;

// The X server's own screen saver and display power saving held off through the X screen-saver
// extension (Suspend, version 1.1). The server runs its DPMS timeouts on the screen saver's
// timer, which a suspension stops, so the global DPMS settings are never changed.
//
// The suspension is held on a connection of its own to the X server the application shows on,
// made at construction so that suspending later sends requests without waiting for a reply.
// The server drops a client's suspension when its connection closes: whatever way the process
// ends, the screens are not left inhibited. UI thread only.
class XScreenSaverSuspension {
public:
    XScreenSaverSuspension();
    ~XScreenSaverSuspension();
    XScreenSaverSuspension(const XScreenSaverSuspension&) = delete;
    XScreenSaverSuspension& operator=(const XScreenSaverSuspension&) = delete;

    // Does nothing without an X11 display (another platform) or without the extension.
    // Suspending also takes down a screen saver already showing: media may be opened on an
    // instance whose screens went idle while it waited (a Slave told to open by its Master).
    void setSuspended(bool on);

private:
    struct CloseDisplay {
        void operator()(_XDisplay* display) const;
    };
    // Only while the server can suspend its screen saver.
    std::unique_ptr<_XDisplay, CloseDisplay> display_;
    bool suspended_ = false;
};

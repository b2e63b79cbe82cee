#pragma once

#include <memory>

class DesktopScreenSaverInhibit;
class XScreenSaverSuspension;

// Keeps the screens from blanking while media is open. Both ways are taken where they exist:
// the desktop's screen saver is asked over D-Bus, and the X server's own screen saver and DPMS
// timers are suspended, which is all a kiosk session without a desktop has and which a desktop
// may leave running beside its own. Each ends with the process; nothing changes global display
// settings. UI thread only.
class ScreenSaverInhibitor {
public:
    ScreenSaverInhibitor();
    // Gives up what is held.
    ~ScreenSaverInhibitor();
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    void setInhibited(bool on);

private:
    std::unique_ptr<DesktopScreenSaverInhibit> desktop_;
    std::unique_ptr<XScreenSaverSuspension> xServer_;
};

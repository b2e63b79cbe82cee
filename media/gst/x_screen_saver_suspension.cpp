#include "media/gst/x_screen_saver_suspension.h"
#include "media/media_log.h"

#include <QGuiApplication>
#include <QLoggingCategory>

// After Qt: Xlib's macros (None, Bool, Status) would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {}  // namespace

void XScreenSaverSuspension::CloseDisplay::operator()(_XDisplay* display) const {
    XCloseDisplay(display);
}

XScreenSaverSuspension::XScreenSaverSuspension() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr) {
        return;
    }
    // The same server as Qt's, also when it was named on the command line.
    const char* name = x11->display() != nullptr ? DisplayString(x11->display()) : nullptr;
    display_.reset(XOpenDisplay(name));
    if (display_ == nullptr) {
        qCWarning(lcMedia) << "cannot connect to the X server to hold off its screen saver";
        return;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XScreenSaverQueryExtension(display_.get(), &eventBase, &errorBase) ||
        !XScreenSaverQueryVersion(display_.get(), &major, &minor) ||
        (major < 1 || (major == 1 && minor < 1))) {
        qCInfo(lcMedia) << "the X server cannot suspend its screen saver (no MIT-SCREEN-SAVER 1.1)";
        display_.reset();
    }
}

XScreenSaverSuspension::~XScreenSaverSuspension() = default;

void XScreenSaverSuspension::setSuspended(bool on) {
    if (display_ == nullptr || on == suspended_) {
        return;
    }
    suspended_ = on;
    XScreenSaverSuspend(display_.get(), on ? True : False);
    if (on) {
        XResetScreenSaver(display_.get());
    }
    XFlush(display_.get());
    if (on) {
        qCInfo(lcMedia) << "X screen saver and display power saving suspended (X screen-saver "
                           "extension)";
    } else {
        qCInfo(lcMedia) << "X screen saver suspension released";
    }
}

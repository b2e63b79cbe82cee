#include "media/gst/screen_saver_inhibitor.h"

#include "media/gst/desktop_screen_saver_inhibit.h"
#include "media/gst/x_screen_saver_suspension.h"

#include <QCoreApplication>

ScreenSaverInhibitor::ScreenSaverInhibitor()
    : desktop_(std::make_unique<DesktopScreenSaverInhibit>(QCoreApplication::applicationName())),
      xServer_(std::make_unique<XScreenSaverSuspension>()) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() = default;

void ScreenSaverInhibitor::setInhibited(bool on) {
    desktop_->setInhibited(on);
    xServer_->setSuspended(on);
}

#include "fake_desktop_screen_saver.h"

#include <QDBusMessage>

uint FakeDesktopScreenSaver::Inhibit(const QString& application, const QString&) {
    ++inhibitCalls;
    const std::uint32_t cookie = nextCookie_++;
    held[cookie] = Inhibition{message().service(), application};
    return cookie;
}

void FakeDesktopScreenSaver::UnInhibit(uint cookie) {
    if (held.erase(cookie) == 0) {
        ++unknownCookies;
    }
}

#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

class QDBusPendingCall;
class QDBusPendingCallWatcher;

// The desktop's screen saver and power saving held off through its session interface
// (org.freedesktop.ScreenSaver on the session bus, Inhibit and UnInhibit).
//
// Nothing here waits on the bus: the session bus connection is made at construction (program
// start, before any show), every call is sent asynchronously and its answer handled later on
// the UI thread. The desktop ends an inhibition when the connection that asked for it closes,
// so one left behind by a crash goes with the process. UI thread only.
class DesktopScreenSaverInhibit {
public:
    explicit DesktopScreenSaverInhibit(QString applicationName);
    ~DesktopScreenSaverInhibit();
    DesktopScreenSaverInhibit(const DesktopScreenSaverInhibit&) = delete;
    DesktopScreenSaverInhibit& operator=(const DesktopScreenSaverInhibit&) = delete;

    // Asks for an inhibition, or gives it up; a desktop that answers only after it was given up
    // has its inhibition taken back at once.
    void setInhibited(bool on);

private:
    void answered(const QDBusPendingCall& call);
    void unInhibit();
    static void sendUnInhibit(QDBusConnection bus, std::uint32_t cookie);

    const QString applicationName_;
    QDBusConnection bus_;
    // Context of the answers on their way: deleting it drops them.
    QObject answers_;
    bool wanted_ = false;
    // The Inhibit call on its way, if any (a child of answers_).
    QDBusPendingCallWatcher* asking_ = nullptr;
    // Held while the desktop keeps an inhibition for us.
    std::optional<std::uint32_t> cookie_;
};

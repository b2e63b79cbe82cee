#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <cstdint>
#include <map>

// Stands in for a desktop's org.freedesktop.ScreenSaver on a private session bus: hands out
// cookies and records who holds an inhibition, as a desktop would.
class FakeDesktopScreenSaver final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    struct Inhibition {
        QString sender;  // unique bus name of the caller
        QString application;
    };
    // Inhibitions held now, by cookie.
    std::map<std::uint32_t, Inhibition> held;
    int inhibitCalls = 0;
    int unknownCookies = 0;

public slots:
    uint Inhibit(const QString& application, const QString& reason);
    void UnInhibit(uint cookie);

private:
    std::uint32_t nextCookie_ = 7;
};

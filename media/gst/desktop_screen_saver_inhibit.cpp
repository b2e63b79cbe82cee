#include "media/gst/desktop_screen_saver_inhibit.h"
#include "media/media_log.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <utility>

namespace {

const QString Service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString Path = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString Interface = QStringLiteral("org.freedesktop.ScreenSaver");

}  // namespace

DesktopScreenSaverInhibit::DesktopScreenSaverInhibit(QString applicationName)
    : applicationName_(std::move(applicationName)), bus_(QDBusConnection::sessionBus()) {}

DesktopScreenSaverInhibit::~DesktopScreenSaverInhibit() {
    unInhibit();
    if (asking_ == nullptr || QCoreApplication::instance() == nullptr) {
        return;
    }
    // The answer still on its way carries an inhibition nobody wants any more: it is taken
    // back when it comes, or ends with the connection if the program ends first.
    asking_->disconnect(&answers_);
    asking_->setParent(QCoreApplication::instance());
    QObject::connect(asking_, &QDBusPendingCallWatcher::finished, QCoreApplication::instance(),
                     [bus = bus_](QDBusPendingCallWatcher* finished) {
                         const QDBusPendingReply<std::uint32_t> reply(*finished);
                         if (!reply.isError()) {
                             sendUnInhibit(bus, reply.value());
                         }
                         finished->deleteLater();
                     });
}

void DesktopScreenSaverInhibit::setInhibited(bool on) {
    wanted_ = on;
    if (!on) {
        unInhibit();
        return;
    }
    if (asking_ != nullptr || cookie_) {
        return;
    }
    if (!bus_.isConnected()) {
        qCInfo(lcMedia) << "no session bus, so no desktop screen saver to inhibit:"
                        << bus_.lastError().message();
        return;
    }
    QDBusMessage inhibit =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Inhibit"));
    inhibit << applicationName_ << QStringLiteral("media open for a show");
    asking_ = new QDBusPendingCallWatcher(bus_.asyncCall(inhibit), &answers_);
    QObject::connect(asking_, &QDBusPendingCallWatcher::finished, &answers_,
                     [this](QDBusPendingCallWatcher* finished) {
                         answered(*finished);
                         finished->deleteLater();
                     });
}

void DesktopScreenSaverInhibit::answered(const QDBusPendingCall& call) {
    asking_ = nullptr;
    const QDBusPendingReply<std::uint32_t> reply(call);
    if (reply.isError()) {
        qCInfo(lcMedia) << "no desktop screen saver answers on the session bus:"
                        << reply.error().message();
        return;
    }
    cookie_ = reply.value();
    if (!wanted_) {
        unInhibit();
        return;
    }
    qCInfo(lcMedia) << "desktop screen saver inhibited over D-Bus (org.freedesktop.ScreenSaver)";
}

void DesktopScreenSaverInhibit::unInhibit() {
    if (!cookie_) {
        return;
    }
    sendUnInhibit(bus_, *cookie_);
    cookie_.reset();
    qCInfo(lcMedia) << "desktop screen saver inhibition released";
}

void DesktopScreenSaverInhibit::sendUnInhibit(QDBusConnection bus, std::uint32_t cookie) {
    QDBusMessage unInhibit =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("UnInhibit"));
    unInhibit << cookie;
    // Sent without waiting for the answer; should the desktop miss it, the inhibition still
    // ends with the connection.
    bus.send(unInhibit);
}

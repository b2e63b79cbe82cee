#include "net/link_failure_text.h"

#include "net/win_sock_error.h"

namespace LinkFailureText {

namespace {

constexpr int kPermissionDenied = 10013;
constexpr int kTooManyOpenFiles = 10024;
constexpr int kAddressInUse = 10048;
constexpr int kAddressNotAvailable = 10049;
constexpr int kNetworkDown = 10050;
constexpr int kNetworkUnreachable = 10051;
constexpr int kConnectionRefused = 10061;
constexpr int kHostUnreachable = 10065;
constexpr int kPrivilegedPorts = 1024;

QString joined(const QString& text, const QString& reason) {
    return text + QStringLiteral(": ") + reason;
}

}  // namespace

QString forServer(int code, const QString& text, quint16 port) {
    const QString where = QStringLiteral("port %1").arg(port);
    switch (code) {
        case kAddressInUse:
            return joined(text, where + QStringLiteral(" is in use by another program"));
        case kPermissionDenied:
            return joined(text, port < kPrivilegedPorts
                                    ? where + QStringLiteral(" is reserved for the system; "
                                                             "choose a port from 1024 up")
                                    : where + QStringLiteral(" is not allowed to this user"));
        case kTooManyOpenFiles:
            return joined(text, QStringLiteral("no descriptor left for more connections on ") +
                                    where + QStringLiteral("; Slaves are turned away meanwhile"));
        case WinSockError::TimedOut:
            return joined(text, QStringLiteral("a Slave on ") + where +
                                    QStringLiteral(" stopped answering and was dropped"));
        default:
            return joined(text, where);
    }
}

QString forClient(int code, const QString& text, const QString& host, quint16 port) {
    const QString where = QStringLiteral("%1 port %2").arg(host).arg(port);
    switch (code) {
        case WinSockError::BadAddress:
            return joined(text, QStringLiteral("the name \"%1\" cannot be resolved").arg(host));
        case kConnectionRefused:
            return joined(text, QStringLiteral("nothing listens on ") + where +
                                    QStringLiteral(" (is the Master running?)"));
        case WinSockError::TimedOut:
            return joined(text, where + QStringLiteral(" does not answer"));
        case kNetworkDown:
        case kNetworkUnreachable:
        case kHostUnreachable:
        case kAddressNotAvailable:
            return joined(text, host + QStringLiteral(" cannot be reached from this computer"));
        case WinSockError::ConnectionReset:
        case WinSockError::NotConnected:
            return joined(
                text, QStringLiteral("the Master at ") + where + QStringLiteral(" ended the link"));
        default:
            return joined(text, where);
    }
}

}  // namespace LinkFailureText

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

QString joined(const Wording& say, int code, const QString& text, const QString& reason) {
    return say(QStringLiteral("TxT_WinSock%1").arg(code), text) + QStringLiteral(": ") + reason;
}

}  // namespace

QString forServer(int code, const QString& text, quint16 port, const Wording& say) {
    const QString p = QString::number(port);
    switch (code) {
        case kAddressInUse:
            return joined(say, code, text,
                          say("TxT_LinkPortInUse", "port %1 is in use by another program").arg(p));
        case kPermissionDenied:
            return joined(
                say, code, text,
                port < kPrivilegedPorts
                    ? say("TxT_LinkPortReserved",
                          "port %1 is reserved for the system; choose a port from 1024 "
                          "up")
                          .arg(p)
                    : say("TxT_LinkPortDenied", "port %1 is not allowed to this user").arg(p));
        case kTooManyOpenFiles:
            return joined(say, code, text,
                          say("TxT_LinkNoDescriptor",
                              "no descriptor left for more connections on port %1; Slaves are "
                              "turned away meanwhile")
                              .arg(p));
        case WinSockError::TimedOut:
            return joined(
                say, code, text,
                say("TxT_LinkSlaveDropped", "a Slave on port %1 stopped answering and was dropped")
                    .arg(p));
        default:
            return joined(say, code, text, say("TxT_LinkPort", "port %1").arg(p));
    }
}

QString forClient(int code, const QString& text, const QString& host, quint16 port,
                  const Wording& say) {
    const QString p = QString::number(port);
    switch (code) {
        case WinSockError::BadAddress:
            return joined(
                say, code, text,
                say("TxT_LinkNameUnknown", "the name \"%1\" cannot be resolved").arg(host));
        case kConnectionRefused:
            return joined(say, code, text,
                          say("TxT_LinkNothingListens",
                              "nothing listens on %1 port %2 (is the Master running?)")
                              .arg(host, p));
        case WinSockError::TimedOut:
            return joined(say, code, text,
                          say("TxT_LinkNoAnswer", "%1 port %2 does not answer").arg(host, p));
        case kNetworkDown:
        case kNetworkUnreachable:
        case kHostUnreachable:
        case kAddressNotAvailable:
            return joined(
                say, code, text,
                say("TxT_LinkUnreachable", "%1 cannot be reached from this computer").arg(host));
        case WinSockError::ConnectionReset:
        case WinSockError::NotConnected:
            return joined(
                say, code, text,
                say("TxT_LinkMasterEnded", "the Master at %1 port %2 ended the link").arg(host, p));
        default:
            return joined(say, code, text, say("TxT_LinkHostPort", "%1 port %2").arg(host, p));
    }
}

}  // namespace LinkFailureText

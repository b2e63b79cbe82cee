#pragma once

#include <QString>

// What the operator reads in a status box when the LAN link fails: the transport's text (the
// WinSock wording that the error codes carry), then the address or port concerned and what the
// failure means on Linux, so that the cause can be found without a log.
namespace LinkFailureText {

// The Master's server, listening on port.
QString forServer(int code, const QString& text, quint16 port);
// A Slave's link to host:port.
QString forClient(int code, const QString& text, const QString& host, quint16 port);

}  // namespace LinkFailureText

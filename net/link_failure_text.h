#pragma once

#include "storage/wording.h"

#include <QString>

// What the operator reads in a status box when the LAN link fails: the transport's text (the
// WinSock wording that the error codes carry), then the address or port concerned and what the
// failure means on Linux, so that the cause can be found without a log. Worded in English unless
// a wording is given; the transport's text of a known code is worded by the key
// "TxT_WinSock<code>".
namespace LinkFailureText {

// The Master's server, listening on port.
QString forServer(int code, const QString& text, quint16 port, const Wording& say = Wording());
// A Slave's link to host:port.
QString forClient(int code, const QString& text, const QString& host, quint16 port,
                  const Wording& say = Wording());

}  // namespace LinkFailureText

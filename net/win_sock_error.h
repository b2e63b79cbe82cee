#pragma once

#include <QString>

// The transport reports failures with the WinSock numbering that operators and the language
// files know (10061 "Connection refused"), whatever the platform's own errno values are.
namespace WinSockError {
inline constexpr int WouldBlock = 10035;
inline constexpr int BadAddress = 10014;
inline constexpr int NoBufferSpace = 10055;
inline constexpr int ConnectionReset = 10054;
inline constexpr int NotConnected = 10057;
inline constexpr int TimedOut = 10060;

// Maps a POSIX errno onto its WinSock code; an errno without a WinSock counterpart is passed
// through unchanged, so that its text becomes "Not a WinSock error ?" and the raw number is kept.
int fromErrno(int errnoValue);

// The text for a WinSock code; "Not a WinSock error ?" for any other number.
QString text(int code);
}  // namespace WinSockError

#pragma once

// Readiness events as the components' notification handlers receive them, numbered like the
// WinSock notification masks they stand for.
namespace SocketEvent {
inline constexpr int Read = 1;
// The socket can take bytes again: queued bytes are sent on.
inline constexpr int Write = 2;
inline constexpr int Accept = 8;
inline constexpr int Connect = 16;
inline constexpr int Close = 32;
}  // namespace SocketEvent

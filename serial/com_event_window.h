#pragma once

#include <cstdint>

class TComPort;

// Receiver of the event thread's messages under smWindowSync: the thread delivers each event
// of a batch as its own synchronous message, in dispatch order, and waits for each. Lives on
// the port's thread while the port is open.
class TComEventWindow {
public:
    // The private message: first user message number (1024) plus 1. wParam is an event flag.
    static constexpr unsigned EventMessage = 1025;

    explicit TComEventWindow(TComPort& port) : port_(port) {}

    // Runs the handler of the event whose flag is wParam; ignores other flags. Returns false
    // for any other message, which is left to the default handling.
    bool WndProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    TComPort& port_;
};

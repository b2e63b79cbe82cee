#pragma once

#include <functional>
#include <memory>
#include <thread>

// A UDP socket and the thread that serves it, with the eventfd that wakes that thread to end.
// It owns all three: when it goes, it wakes the thread, joins it and closes the socket and the
// eventfd, so whatever the thread reads must outlive it.
class UdpPollThread {
public:
    // What a wait of the thread saw.
    enum class Wake {
        // A datagram waits on the socket.
        Readable,
        // The time passed, a signal came, or a datagram sent was refused.
        Quiet,
        // The owner is going, or the wait failed: the thread returns.
        End,
    };

    // Takes the socket; none (the socket closed, errno saying why) when no eventfd can be had.
    static std::unique_ptr<UdpPollThread> own(int socket);
    ~UdpPollThread();
    UdpPollThread(const UdpPollThread&) = delete;
    UdpPollThread& operator=(const UdpPollThread&) = delete;

    int socket() const { return socket_; }
    // Runs `serve` on the thread, once, handing it this owner; it returns when a wait says End.
    void start(std::function<void(const UdpPollThread&)> serve);
    // On the thread: waits up to `timeoutMs` (-1: without end) on the socket and the eventfd.
    Wake wait(int timeoutMs) const;

private:
    UdpPollThread(int socket, int wake) : socket_(socket), wake_(wake) {}

    int socket_;
    int wake_;
    std::thread thread_;
};

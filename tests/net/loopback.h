#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

class TSimpleTCPServer;

// Test peers on 127.0.0.1 that stand in for a Slave or a Master of another make: plain POSIX
// sockets, driven by the test while the components' event loop runs.

// Runs the event loop until the condition holds or the time is up; returns the condition.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
// Runs the event loop for a while, for checks that something does not happen: on loopback
// whatever a socket action sets off is ready at the loop's next pass, well within the default.
void settle(int ms = 100);

// The port the listening server was given by the kernel (it listens on Port 0).
quint16 boundPort(const TSimpleTCPServer& server);
// A port on loopback where nothing listens (bound once and given back): for a server to take,
// or for a connection to be refused.
quint16 freePort();

struct ErrorRecord {
    int socket;
    int code;
    QString text;
};

class RawPeer {
public:
    RawPeer() = default;
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;
    RawPeer(RawPeer&& other) noexcept;
    RawPeer& operator=(RawPeer&& other) noexcept;
    ~RawPeer();

    // Connects to 127.0.0.1:port (blocking); a receive buffer below the default makes the peer
    // stop taking bytes sooner when it does not read.
    static RawPeer connectTo(quint16 port, int receiveBuffer = 0);
    // A socket bound to a loopback source address (127.0.0.2 stands for another host), not yet
    // connected: its descriptor exists before the test takes the rest away.
    static RawPeer from(const char* source);
    static RawPeer connectFrom(const char* source, quint16 port);
    // Connects to 127.0.0.1:port (blocking).
    void connect(quint16 port) const;
    // Starts connecting without waiting for the handshake.
    static RawPeer startConnect(quint16 port);
    // Listens on 127.0.0.1 on the port (0: an ephemeral one); reuseAddress as the server sets
    // it.
    static RawPeer listenOn(bool reuseAddress = false, quint16 port = 0);

    int fd() const { return fd_; }
    quint16 localPort() const;
    void send(const QByteArray& bytes) const;
    // Whatever is waiting, without blocking.
    QByteArray readAvailable() const;
    // Reads until `count` bytes came, running the event loop in between.
    QByteArray readExactly(qsizetype count, int timeoutMs = 5000) const;
    // Runs the event loop until the peer's end shows: 0 for an orderly end, else the errno
    // (ECONNRESET for a reset); -1 when nothing came in time. Bytes before the end are dropped.
    int waitForEnd(int timeoutMs = 5000) const;
    // Orderly close (FIN).
    void close();
    // Accepts one pending connection (blocking).
    RawPeer accept() const;

private:
    explicit RawPeer(int fd) : fd_(fd) {}
    int fd_ = -1;
};

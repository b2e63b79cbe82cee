#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <unordered_map>

class QSocketNotifier;

// Watches the sockets of one component through one epoll set whose descriptor is serviced by a
// QSocketNotifier, so readiness arrives on the thread that created the watcher (the user-interface
// thread) through its event loop; no thread of its own.
//
// Readiness is turned into the events of SocketEvent and handed to the handler one at a time,
// each to its end before the next, in this order for one socket: Connect (with the connection's
// error), Write, Read (only when bytes wait), Close (with the socket's pending error, 0 for an
// orderly end). After a failed Connect or any Close the socket is no longer watched. A listening
// socket raises Accept for as long as connections wait; other sockets are edge-triggered: Read
// comes again only when new bytes arrive, so bytes left unread wait without raising events.
//
// The handler may watch or unwatch sockets, close them, or destroy the watcher; events of a socket
// closed meanwhile are not delivered.
class ReadinessWatcher final : public QObject {
    Q_OBJECT
public:
    // error: 0, or the WinSock code of the failure the event reports.
    using Handler = std::function<void(int socket, int event, int error)>;

    explicit ReadinessWatcher(Handler handler);
    ~ReadinessWatcher() override;

    // Starts, or changes, delivery of `events` (SocketEvent bits) for the socket; 0 stops it.
    // Returns 0 or the errno of the failure.
    int watch(int socket, int events);
    void unwatch(int socket);
    // Write is raised only while it is wanted: while bytes wait to be sent on the socket.
    void setWriteWanted(int socket, bool wanted);

private:
    struct Registration {
        int events = 0;
        bool connecting = false;
        bool writeWanted = false;
        std::uint64_t generation = 0;
    };

    void service();
    void deliver(int socket, std::uint32_t ready);
    bool stillWatched(int socket, std::uint64_t generation) const;
    int control(int operation, int socket, const Registration& registration);

    Handler handler_;
    int epoll_;
    int epollError_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    std::unordered_map<int, Registration> registrations_;
    std::uint64_t nextGeneration_ = 0;
};

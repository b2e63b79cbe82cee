#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

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
// closed meanwhile are not delivered. Delivery is not re-entrant: while a handler runs (or while
// the owner holds delivery, see Hold), readiness that a nested event loop would see waits, and is
// delivered in order once the handler has returned.
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
    // The Read handler left bytes in the socket on purpose (it reads a bounded amount per
    // event): Read is raised again on a later turn of the event loop, after the other sockets
    // and timers have had theirs.
    void readAgainLater(int socket);

    // Holds delivery while the owner runs one of its handlers outside an event of this watcher
    // (an error report from a send, say); every Hold is undone by one Release.
    void Hold();
    void Release();

private:
    struct Registration {
        int events = 0;
        bool connecting = false;
        bool writeWanted = false;
        // A failure read from the socket while bytes were left for a later turn; the Close that
        // follows them reports it.
        int deferredError = 0;
        std::uint64_t generation = 0;
    };

    void service();
    void deliver(int socket, std::uint32_t ready);
    bool stillWatched(int socket, std::uint64_t generation) const;
    int control(int operation, int socket, const Registration& registration);
    // Asks epoll to look at the sockets left with unread bytes again; ready ones raise an event.
    void rearm();

    Handler handler_;
    int epoll_;
    int epollError_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    std::unordered_map<int, Registration> registrations_;
    std::uint64_t nextGeneration_ = 0;
    // Handlers running (nested holds included); the notifier is off while it is above 0.
    int holds_ = 0;
    std::vector<std::pair<int, std::uint64_t>> readAgain_;
};

// Holds a watcher's delivery for a scope; harmless when there is no watcher or it goes away
// meanwhile.
class DeliveryHold {
public:
    explicit DeliveryHold(ReadinessWatcher* watcher) : watcher_(watcher) {
        if (watcher_) {
            watcher_->Hold();
        }
    }
    ~DeliveryHold() {
        if (watcher_) {
            watcher_->Release();
        }
    }
    DeliveryHold(const DeliveryHold&) = delete;
    DeliveryHold& operator=(const DeliveryHold&) = delete;

private:
    QPointer<ReadinessWatcher> watcher_;
};

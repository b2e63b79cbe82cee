#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <deque>
#include <functional>

// One end of the show's link, whatever carries it (the LAN Master's server, the LAN Slave's
// connection, the serial chain): it is opened and closed, sends a command to every peer, and
// hands on each command it receives with the peer it came from. The Sync commands, the shared
// clock's commands and the Slaves' status reports all go out through send().
//
// Commands run one after another, never inside one another, whatever their peer: a command that
// arrives while another runs (a modal box runs a nested event loop) waits until that one has
// returned. A peer that goes away takes its waiting commands with it. User-interface thread only.
class SyncLink {
public:
    // The connection object or port a command came from; valid while the handler runs.
    using Peer = QObject*;
    // What the link's lamps show: a frame sent, bytes passed on down a chain, bytes received.
    enum class Lamp { Sent, PassedOn, Received };

    SyncLink() = default;
    SyncLink(const SyncLink&) = delete;
    SyncLink& operator=(const SyncLink&) = delete;
    virtual ~SyncLink() = default;

    virtual void open() = 0;
    // Drops every connection and whatever half frames and waiting commands they held.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Frames the command and sends it to every peer this end speaks to. Nothing is queued or
    // retried: sent while the link is down, the command is lost.
    virtual void send(QByteArrayView command) = 0;

    std::function<void(const QByteArray& command, Peer from)> onCommand;
    // Every chunk as it arrives, before its commands run.
    std::function<void(Peer from, QByteArrayView bytes)> onBytes;
    std::function<void(Lamp lamp)> onLamp;

protected:
    // Queues a command of a peer; run() hands the queue on.
    void take(Peer from, const QByteArray& command);
    // Hands on the waiting commands, unless called from inside one of them.
    void run();
    // The peer went away: its waiting commands are dropped.
    void forget(Peer peer);
    // What a received command does; the backends may take some for themselves.
    virtual void handle(Peer from, const QByteArray& command);
    void lamp(Lamp which) const;
    void bytesArrived(Peer from, QByteArrayView bytes) const;
    // The event log's line for a Sync command handed to the link.
    static void logSent(QByteArrayView command);

private:
    struct Waiting {
        Peer from;
        QByteArray command;
    };
    std::deque<Waiting> waiting_;
    bool running_ = false;
};

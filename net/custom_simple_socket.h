#pragma once

#include "net/pending_bytes.h"
#include "net/readiness_watcher.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

class TSimpleTCPClient;

// Raised where the components have no OnError handler to report to, and when Host or Port is
// changed while connected or listening without permission.
class ESocketError : public std::runtime_error {
public:
    explicit ESocketError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Event types. Sender is the component that raises the event. Buffer is followed by one zero byte
// that Length/BufLength does not count, and is valid only while the handler runs.
using TSimpleTCPAcceptEvent =
    std::function<void(QObject* Sender, TSimpleTCPClient* Client, bool& Accept)>;
using TSimpleTCPServerEvent = std::function<void(QObject* Sender, TSimpleTCPClient* Client)>;
using TSimpleTCPServerIOEvent = std::function<void(QObject* Sender, TSimpleTCPClient* Client,
                                                   const char* Buffer, qint32 Length)>;
using TSimpleTCPClientIOEvent =
    std::function<void(QObject* Sender, const char* Buffer, qint32 BufLength)>;
// Socket is -1 when the failure happened before a socket existed; ErrorCode is a WinSock code.
using TSimpleTCPErrorEvent =
    std::function<void(QObject* Sender, qint32 Socket, qint32 ErrorCode, const QString& ErrorMsg)>;

// What the TCP server, the TCP client and the server's connection objects share: one non-blocking
// IPv4 socket, its queue of unsent bytes, error reporting and the readiness notifications.
//
// Threading: everything runs on the thread that created the component (the user-interface
// thread); events are raised from its event loop, one at a time.
//
// What a handler may do: anything to its component. It may send, set Connected or Listen, change
// Host or Port, assign other handlers, and destroy the component (or its owner) outright; the
// event that called it then touches the component no more. It may run a nested event loop (a
// modal box): the component's further notifications wait until the handler returns and are then
// delivered in order, so its handlers never run inside one another. Another component's events
// are not held up.
//
// Dead peers: every connection (the client's, and each one the server accepts) probes an idle
// peer after 2 s, every 1 s, and gives up after 3 unanswered probes, or when sent bytes stay
// unacknowledged for 5 s; the failure arrives as an error (10060 "Connection timed out").
class TCustomSimpleSocket : public QObject {
    Q_OBJECT
public:
    explicit TCustomSimpleSocket(QObject* Owner);
    ~TCustomSimpleSocket() override;

    bool AllowChangeHostAndPortOnConnection() const { return allowChange_; }
    void setAllowChangeHostAndPortOnConnection(bool value) { allowChange_ = value; }
    QString Host() const { return host_; }
    virtual void setHost(const QString& value);
    quint16 Port() const { return port_; }
    virtual void setPort(quint16 value);
    // The socket descriptor, -1 while there is none.
    int socketHandle() const { return socket_; }

    TSimpleTCPErrorEvent OnError;

protected:
    // Raises OnError with the code's text, or throws ESocketError with it when OnError is
    // unassigned.
    void ReportError(int socket, int code);

    // Sends on carrier's socket (this component's own, or a connection of this server), behind
    // any bytes still queued for it, so frames leave whole and in order. What the kernel does not
    // take is queued and sent when the socket becomes writable. Returns Length once the bytes are
    // sent or queued, 0 without a socket, -1 after a reported failure. Past the queue's cap the
    // connection is reported with 10055 and dropped.
    qint32 SendOnSocket(TCustomSimpleSocket& carrier, const char* Buffer, qint32 Length);
    // Sends on what waits in carrier's queue; called when its socket is writable.
    void FlushPending(TCustomSimpleSocket& carrier);
    // Closes a connection whose peer stopped taking bytes.
    virtual void DropConnection(TCustomSimpleSocket& carrier) = 0;

    // Receives what waits on the socket into bytes, in 8193-byte chunks, but at most
    // kReadPerEvent bytes: the rest is read on a later turn of the event loop (this component's
    // watcher raises Read again), so a peer that floods cannot stall the loop or fill memory.
    // Returns 0 once the socket is drained or the bound reached (a "would block" after a full
    // chunk means just that), or the WinSock code of a receive failure; bytes keeps what arrived
    // before it.
    int ReceiveAvailable(int socket, QByteArray& bytes);
    static constexpr qsizetype kReadPerEvent = 64 * 1024;

    // Sync commands leave at once instead of waiting for the peer's acknowledgement of the last
    // one (Nagle), which a Slave may delay by tens of milliseconds.
    static void DisableCoalescing(int socket);
    // Keep-alive probes and a limit for unacknowledged sends, so that a peer that lost power or
    // its cable ends the connection with 10060 instead of leaving it open for ever.
    static void WatchForDeadPeer(int socket);

    // Raises a handler from a copy of it, holding this component's notifications meanwhile: the
    // handler may reassign itself or destroy the component.
    template <typename Handler, typename... Args>
    void Raise(const Handler& handler, Args&&... args) {
        if (!handler) {
            return;
        }
        const Handler call = handler;
        const DeliveryHold hold(watcher_.get());
        call(std::forward<Args>(args)...);
    }
    // Lets go of a connection that leaves the server: the server stops watching it, and the
    // object no longer refers to the server, which may be gone before it is.
    void Detach();

    // Makes socket this connection object's own: Host and Port become its local address.
    void AttachSocket(int socket, TCustomSimpleSocket& watchedBy);
    // Closes the socket. Abortive: the peer sees a reset rather than an orderly end. Returns 0 or
    // the errno of close(); the socket is released either way.
    int CloseSocket(bool abortive);

    // This component's notification handler: event is a SocketEvent, error 0 or a WinSock code.
    virtual void Notify(int socket, int event, int error) = 0;
    ReadinessWatcher& watcher();

    bool allowChange_ = false;
    QString host_;
    quint16 port_ = 0;
    int socket_ = -1;
    PendingBytes pending_;

private:
    std::unique_ptr<ReadinessWatcher> watcher_;
    // The component whose watcher serves socket_: this one, or the server that accepted it.
    TCustomSimpleSocket* watchedBy_ = this;
};

#pragma once

#include "net/pending_bytes.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

class ReadinessWatcher;
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
// thread); events are raised from its event loop, one at a time. A handler must not destroy the
// component that raised the event (use deleteLater()).
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

    // Receives everything waiting on the socket into bytes, in 8193-byte chunks. Returns 0 once
    // the socket is drained (a "would block" after a full chunk means just that), or the WinSock
    // code of a receive failure; bytes keeps what arrived before it.
    static int ReceiveAvailable(int socket, QByteArray& bytes);

    // Sync commands leave at once instead of waiting for the peer's acknowledgement of the last
    // one (Nagle), which a Slave may delay by tens of milliseconds.
    static void DisableCoalescing(int socket);

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

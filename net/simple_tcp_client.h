#pragma once

#include "net/custom_simple_socket.h"
#include "net/host_lookup.h"

// The Slave's side of the LAN link: connects to Host:Port and hands every received chunk to
// OnRead. The server also uses one object of this class per accepted connection (its Host is then
// the peer's address and its Port the server's port).
class TSimpleTCPClient : public TCustomSimpleSocket {
    Q_OBJECT
    Q_PROPERTY(bool Connected READ Connected WRITE setConnected)
    Q_PROPERTY(bool AllowChangeHostAndPortOnConnection READ AllowChangeHostAndPortOnConnection WRITE
                   setAllowChangeHostAndPortOnConnection)
    Q_PROPERTY(QString Host READ Host WRITE setHost)
    Q_PROPERTY(quint16 Port READ Port WRITE setPort)
public:
    explicit TSimpleTCPClient(QObject* Owner = nullptr);
    ~TSimpleTCPClient() override;

    // True from the moment a connection is requested, while it is still under way, until it is
    // closed. A connection attempt that fails later (OnError, e.g. 10061) leaves it true until
    // the owner sets it false.
    bool Connected() const { return connected_; }
    // true: start connecting to Host (failures go to OnError and leave it false). A Host that is
    // a name is looked up in the background first: Connected reads true meanwhile, and a name
    // that does not resolve is reported (10014, Socket -1) when the answer comes, leaving it
    // false. false: close abortively, dropping the answer of a lookup under way.
    void setConnected(bool value);
    // While connected: throws ESocketError unless AllowChangeHostAndPortOnConnection, in which
    // case the connection is closed and opened again to the new address.
    void setHost(const QString& value) override;
    void setPort(quint16 value) override;

    // Sends the bytes, queued behind any still unsent. Returns Length once sent or queued, 0 when
    // there is no socket, -1 after a failure reported through OnError.
    qint32 Send(const char* Buffer, qint32 Length);

    // How names are resolved (getaddrinfo unless replaced: a test's silent name server).
    void SetNameResolver(HostLookup::Resolver resolver) {
        lookup_.setResolver(std::move(resolver));
    }

    std::function<void(QObject* Sender)> OnConnected;
    // The peer closed the connection; Connected is already false. OnError follows with 10057
    // "Socket is not connected", so an owner that retries on errors reconnects.
    std::function<void(QObject* Sender)> OnDisconnected;
    // Unassigned: nothing is read and the bytes wait in the socket.
    TSimpleTCPClientIOEvent OnRead;

protected:
    void Notify(int socket, int event, int error) override;
    void DropConnection(TCustomSimpleSocket& carrier) override;

private:
    friend class TSimpleTCPServer;

    void Open();
    void ConnectTo(in_addr host);
    void Close();
    void ReadAvailable();

    bool connected_ = false;
    HostLookup lookup_;
};

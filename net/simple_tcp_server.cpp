#include "net/simple_tcp_server.h"

#include "net/local_address.h"
#include "net/net_log.h"
#include "net/readiness_watcher.h"
#include "net/simple_tcp_client.h"
#include "net/socket_event.h"
#include "net/win_sock_error.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cerrno>

namespace {

// As many connections as the kernel allows may wait to be accepted. With a short backlog Linux
// completes the handshake of Slaves that start together (SYN cookies) and then drops them unseen:
// each such Slave believes it is connected while the Master never hears of it.
constexpr int kListenBacklog = SOMAXCONN;

constexpr int kAcceptRetryMs = 100;

}  // namespace

TSimpleTCPServer::TSimpleTCPServer(QObject* Owner) : TCustomSimpleSocket(Owner) {}

TSimpleTCPServer::~TSimpleTCPServer() {
    DestroyClients();
    CloseSocket(false);
}

void TSimpleTCPServer::setListen(bool value) {
    if (value == listen_) {
        return;
    }
    if (!value) {
        CloseListening();
        return;
    }
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket < 0) {
        ReportError(-1, WinSockError::fromErrno(errno));
        return;
    }
    // Lets a restarted Master listen again while its old connections linger in TIME_WAIT; another
    // program listening on the port still makes bind fail.
    const int reuse = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port_);
    int error = 0;
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(socket, kListenBacklog) != 0) {
        error = errno;
    } else {
        error =
            watcher().watch(socket, SocketEvent::Read | SocketEvent::Accept | SocketEvent::Close);
    }
    if (error != 0) {
        ::close(socket);
        ReportError(socket, WinSockError::fromErrno(error));
        return;
    }
    socket_ = socket;
    listen_ = true;
}

void TSimpleTCPServer::DestroyClients() {
    // Last to first; each connection closes its socket abortively as it is destroyed.
    while (!clients_.empty()) {
        std::unique_ptr<TSimpleTCPClient> last = std::move(clients_.back());
        clients_.pop_back();
    }
}

void TSimpleTCPServer::CloseListening() {
    DestroyClients();
    const int socket = socket_;
    const int error = CloseSocket(false);
    listen_ = false;
    if (error != 0) {
        ReportError(socket, WinSockError::fromErrno(error));
    }
}

void TSimpleTCPServer::setPort(quint16 value) {
    if (value == port_) {
        return;
    }
    if (!listen_) {
        port_ = value;
        return;
    }
    if (!allowChange_) {
        throw ESocketError(QStringLiteral("Can not change Port while listening"));
    }
    setListen(false);
    port_ = value;
    setListen(true);
}

QString TSimpleTCPServer::LocalHostName() {
    QString name;
    if (const int error = LocalAddress::hostName(name)) {
        ReportError(socket_, WinSockError::fromErrno(error));
    }
    return name;
}

QString TSimpleTCPServer::LocalIP() {
    QString name;
    if (const int error = LocalAddress::hostName(name)) {
        ReportError(socket_, WinSockError::fromErrno(error));
        return {};
    }
    return LocalAddress::preferredIPv4(LocalAddress::firstIPv4Of(name),
                                       LocalAddress::firstInterfaceIPv4());
}

QList<TSimpleTCPClient*> TSimpleTCPServer::Clients() const {
    QList<TSimpleTCPClient*> list;
    list.reserve(static_cast<qsizetype>(clients_.size()));
    for (const auto& client : clients_) {
        list.append(client.get());
    }
    return list;
}

void TSimpleTCPServer::SendToAll(const char* Buffer, qint32 Length) {
    // A failure report or a dropped connection may change the list while it is walked.
    std::vector<QPointer<TSimpleTCPClient>> targets;
    targets.reserve(clients_.size());
    for (const auto& client : clients_) {
        targets.emplace_back(client.get());
    }
    const QPointer<TSimpleTCPServer> alive(this);
    for (const QPointer<TSimpleTCPClient>& target : targets) {
        if (!alive) {
            return;
        }
        if (target) {
            SendOnSocket(*target, Buffer, Length);
        }
    }
}

TSimpleTCPClient* TSimpleTCPServer::FindClient(int socket) const {
    for (const auto& client : clients_) {
        if (client->socketHandle() == socket) {
            return client.get();
        }
    }
    return nullptr;
}

void TSimpleTCPServer::Notify(int socket, int event, int error) {
    if (error != 0 && event == SocketEvent::Close) {
        CloseClientAfterError(socket, error);
        return;
    }
    if (error != 0) {
        ReportError(socket, error);
        return;
    }
    switch (event) {
        case SocketEvent::Read:
            ReadFromClient(socket);
            break;
        case SocketEvent::Accept:
            AcceptConnection();
            break;
        case SocketEvent::Close:
            CloseClient(socket);
            break;
        case SocketEvent::Write:
            if (TSimpleTCPClient* client = FindClient(socket)) {
                FlushPending(*client);
            }
            break;
        default:
            break;
    }
}

void TSimpleTCPServer::ReadFromClient(int socket) {
    TSimpleTCPClient* client = FindClient(socket);
    if (!OnClientRead) {
        return;
    }
    QByteArray bytes;
    const int error = ReceiveAvailable(socket, bytes);
    const QPointer<TSimpleTCPServer> alive(this);
    // Bytes first: they arrived before the failure, and the error handler may close the link.
    Raise(OnClientRead, this, client, bytes.constData(), static_cast<qint32>(bytes.size()));
    if (error != 0 && alive) {
        ReportError(socket, error);
    }
}

void TSimpleTCPServer::AcceptConnection() {
    sockaddr_in peer{};
    socklen_t length = sizeof(peer);
    const int socket = ::accept4(socket_, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (socket < 0) {
        // A connection that went away before it was taken leaves nothing to accept.
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        }
        const int error = errno;
        PauseAccepting();
        ReportError(-1, WinSockError::fromErrno(error));
        return;
    }
    DisableCoalescing(socket);
    WatchForDeadPeer(socket);
    auto client = std::make_unique<TSimpleTCPClient>(nullptr);
    client->AttachSocket(socket, *this);
    client->setHost(QString::fromLatin1(::inet_ntoa(peer.sin_addr)));
    client->connected_ = true;
    if (OnAccept) {
        const QPointer<TSimpleTCPServer> alive(this);
        bool Accept = true;
        Raise(OnAccept, this, client.get(), Accept);
        // The handler may also have stopped or destroyed the server.
        if (!alive || !Accept || !listen_) {
            return;
        }
    }
    if (const int error = watcher().watch(socket, SocketEvent::Read | SocketEvent::Close)) {
        ReportError(socket, WinSockError::fromErrno(error));
        return;
    }
    TSimpleTCPClient* connection = client.get();
    clients_.push_back(std::move(client));
    Raise(OnClientConnected, this, connection);
}

void TSimpleTCPServer::PauseAccepting() {
    // The waiting connection stays in the backlog, so accepting again at once (out of descriptors,
    // say) would fail again at once, and report again, for as long as the cause lasts.
    watcher().watch(socket_, 0);
    const int listening = socket_;
    QTimer::singleShot(kAcceptRetryMs, this, [this, listening] {
        if (listen_ && socket_ == listening) {
            watcher().watch(socket_, SocketEvent::Read | SocketEvent::Accept | SocketEvent::Close);
        }
    });
}

void TSimpleTCPServer::CloseClient(int socket) {
    if (TSimpleTCPClient* client = FindClient(socket)) {
        RemoveClient(client);
    }
}

void TSimpleTCPServer::CloseClientAfterError(int socket, int error) {
    // The watcher has let go of the socket; kept in Clients it would hold its descriptor, and
    // show as a Slave, until the server stops.
    std::unique_ptr<TSimpleTCPClient> leaving;
    if (TSimpleTCPClient* client = FindClient(socket)) {
        leaving = TakeClient(client);
    }
    // A Slave's own close is abortive, so every Slave that reconnects ends its old connection
    // with a reset: that is how Slaves leave, not a failure of the server. An owner that
    // restarts the server on errors would otherwise cut every other Slave each time.
    if (error == WinSockError::ConnectionReset) {
        qCInfo(lcNet) << "Slave" << (leaving ? leaving->Host() : QString()) << "left with a reset";
    } else {
        const QPointer<TSimpleTCPServer> alive(this);
        ReportError(socket, error);
        if (!alive) {
            return;
        }
    }
    if (leaving) {
        Raise(OnClientDisconnected, this, leaving.get());
    }
}

std::unique_ptr<TSimpleTCPClient> TSimpleTCPServer::TakeClient(const TCustomSimpleSocket* client) {
    auto found = std::find_if(clients_.begin(), clients_.end(),
                              [client](const auto& entry) { return entry.get() == client; });
    if (found == clients_.end()) {
        return nullptr;
    }
    std::unique_ptr<TSimpleTCPClient> taken = std::move(*found);
    clients_.erase(found);
    taken->Detach();
    return taken;
}

void TSimpleTCPServer::RemoveClient(const TCustomSimpleSocket* client) {
    std::unique_ptr<TSimpleTCPClient> leaving = TakeClient(client);
    if (leaving) {
        Raise(OnClientDisconnected, this, leaving.get());
    }
}

void TSimpleTCPServer::DropConnection(TCustomSimpleSocket& carrier) {
    RemoveClient(&carrier);
}

#include "net/simple_tcp_server.h"

#include "net/local_address.h"
#include "net/net_log.h"
#include "net/readiness_watcher.h"
#include "net/simple_tcp_client.h"
#include "net/socket_event.h"
#include "net/win_sock_error.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

// As many connections as the kernel allows may wait to be accepted. With a short backlog Linux
// completes the handshake of Slaves that start together (SYN cookies) and then drops them unseen:
// each such Slave believes it is connected while the Master never hears of it.
constexpr int kListenBacklog = SOMAXCONN;

constexpr int kAcceptRetryMs = 100;

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool outOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

int openSpare() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void closeSpare(int& spare) {
    if (spare >= 0) {
        ::close(spare);
        spare = -1;
    }
}

void closeAbortively(int socket) {
    const linger abort{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    ::close(socket);
}

bool isLoopback(const QString& host) {
    return host.startsWith(QLatin1String("127."));
}

}  // namespace

TSimpleTCPServer::TSimpleTCPServer(QObject* Owner) : TCustomSimpleSocket(Owner) {}

TSimpleTCPServer::~TSimpleTCPServer() {
    DestroyClients();
    CloseSocket(false);
    closeSpare(spare_);
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
    spare_ = openSpare();
    inShortage_ = false;
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
    closeSpare(spare_);
    crowdedHosts_.clear();
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

void TSimpleTCPServer::setCommandHosts(const QString& value) {
    commandHostsText_ = value;
    commandHosts_ = CommandHostList(value);
    refusedHosts_.clear();
    if (!commandHosts_.unreadable().isEmpty()) {
        qCWarning(lcNet).noquote() << "CommandHosts: not an IPv4 address, left out:"
                                   << commandHosts_.unreadable().join(QStringLiteral(", "));
    }
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
    if (client && !commandHosts_.admits(client->Host())) {
        if (!refusedHosts_.contains(client->Host())) {
            refusedHosts_.insert(client->Host());
            qCWarning(lcNet).noquote()
                << "ignoring what" << client->Host() << "sends: not one of the CommandHosts";
        }
        if (error != 0) {
            ReportError(socket, error);
        }
        return;
    }
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
        const int error = errno;
        // A connection that went away before it was taken leaves nothing to accept.
        if (error == EAGAIN || error == EWOULDBLOCK) {
            return;
        }
        if (outOfDescriptors(error) && AcceptInShortage()) {
            return;
        }
        PauseAccepting();
        if (outOfDescriptors(error)) {
            ReportShortage(error);
        } else {
            ReportError(-1, WinSockError::fromErrno(error));
        }
        return;
    }
    if (inShortage_) {
        inShortage_ = false;
        qCInfo(lcNet) << "descriptors are available again";
    }
    const QString host = QString::fromLatin1(::inet_ntoa(peer.sin_addr));
    if (AtAddressLimit(host)) {
        closeAbortively(socket);
        return;
    }
    AdoptConnection(socket, host);
}

bool TSimpleTCPServer::AcceptInShortage() {
    if (spare_ < 0) {
        return false;
    }
    closeSpare(spare_);
    sockaddr_in peer{};
    socklen_t length = sizeof(peer);
    const int socket = ::accept4(socket_, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int error = errno;
    if (socket < 0) {
        spare_ = openSpare();
        return error == EAGAIN || error == EWOULDBLOCK;
    }
    const QString host = QString::fromLatin1(::inet_ntoa(peer.sin_addr));
    // The newcomer may take the place of the newest connection of the address holding the most,
    // so that one host's idle connections cannot shut out a Slave coming back.
    QHash<QString, int> holds;
    for (const auto& client : clients_) {
        ++holds[client->Host()];
    }
    QString crowded;
    int busiestHolds = holds.value(host) + 1;
    for (auto it = holds.cbegin(); it != holds.cend(); ++it) {
        if (it.key() != host && it.value() > busiestHolds) {
            crowded = it.key();
            busiestHolds = it.value();
        }
    }
    std::unique_ptr<TSimpleTCPClient> leaving;
    if (!crowded.isEmpty() && !AtAddressLimit(host)) {
        for (auto it = clients_.rbegin(); it != clients_.rend(); ++it) {
            if ((*it)->Host() == crowded) {
                leaving = TakeClient(it->get());
                break;
            }
        }
        leaving->CloseSocket(true);
        LogAboutHost(true, host,
                     QStringLiteral("out of descriptors: closed a connection of %1 (of %2 it "
                                    "held) for %3")
                         .arg(crowded)
                         .arg(busiestHolds)
                         .arg(host));
    } else {
        LogAboutHost(true, host,
                     QStringLiteral("out of descriptors: closed the new connection of ") + host);
        closeAbortively(socket);
    }
    spare_ = openSpare();
    const QPointer<TSimpleTCPServer> alive(this);
    if (leaving) {
        AdoptConnection(socket, host);
        if (alive) {
            Raise(OnClientDisconnected, this, leaving.get());
        }
    }
    if (alive) {
        ReportShortage(EMFILE);
    }
    return true;
}

void TSimpleTCPServer::ReportShortage(int error) {
    if (inShortage_) {
        return;
    }
    inShortage_ = true;
    qCWarning(lcNet, "out of descriptors: connections are refused until some are free");
    ReportError(-1, WinSockError::fromErrno(error));
}

int TSimpleTCPServer::ConnectionsFrom(const QString& host) const {
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                          [&](const auto& c) { return c->Host() == host; }));
}

bool TSimpleTCPServer::AtAddressLimit(const QString& host) {
    const int limit = isLoopback(host) ? kConnectionsPerLoopbackAddress : kConnectionsPerAddress;
    if (ConnectionsFrom(host) < limit) {
        crowdedHosts_.remove(host);
        return false;
    }
    if (!crowdedHosts_.contains(host)) {
        crowdedHosts_.insert(host);
        qCWarning(lcNet).noquote()
            << host << "holds" << limit << "connections: further ones are closed";
    }
    return true;
}

void TSimpleTCPServer::AdoptConnection(int socket, const QString& host) {
    DisableCoalescing(socket);
    WatchForDeadPeer(socket);
    auto client = std::make_unique<TSimpleTCPClient>(nullptr);
    client->AttachSocket(socket, *this);
    client->setHost(host);
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
            if (spare_ < 0) {
                spare_ = openSpare();
            }
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
        const QString host = leaving ? leaving->Host() : QString();
        LogAboutHost(false, host, QStringLiteral("Slave %1 left with a reset").arg(host));
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

void TSimpleTCPServer::LogAboutHost(bool warning, const QString& host, const QString& line) {
    // Written without a QDebug stream: the sanitizer build checks the stream's type through a
    // pipe, and in a shortage no descriptor is left for one.
    for (const QString& text : (warning ? shortageLog_ : hostLog_).note(host, line, steadyMs())) {
        if (warning) {
            qCWarning(lcNet, "%s", qPrintable(text));
        } else {
            qCInfo(lcNet, "%s", qPrintable(text));
        }
    }
    if (!hostLogFlushArmed_) {
        FlushHostLog();
    }
}

void TSimpleTCPServer::FlushHostLog() {
    hostLogFlushArmed_ = false;
    const std::int64_t now = steadyMs();
    for (const QString& text : shortageLog_.flush(now)) {
        qCWarning(lcNet, "%s", qPrintable(text));
    }
    for (const QString& text : hostLog_.flush(now)) {
        qCInfo(lcNet, "%s", qPrintable(text));
    }
    std::optional<std::int64_t> due = hostLog_.flushDue();
    if (const std::optional<std::int64_t> shortage = shortageLog_.flushDue(); shortage) {
        due = due ? std::min(*due, *shortage) : *shortage;
    }
    if (due) {
        hostLogFlushArmed_ = true;
        QTimer::singleShot(std::chrono::milliseconds(std::max<std::int64_t>(*due - now, 0)), this,
                           [this] { FlushHostLog(); });
    }
}

void TSimpleTCPServer::DropConnection(TCustomSimpleSocket& carrier) {
    RemoveClient(&carrier);
}

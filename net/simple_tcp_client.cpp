#include "net/simple_tcp_client.h"

#include "net/net_log.h"
#include "net/readiness_watcher.h"
#include "net/socket_event.h"
#include "net/win_sock_error.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QPointer>
#include <cerrno>

TSimpleTCPClient::TSimpleTCPClient(QObject* Owner) : TCustomSimpleSocket(Owner) {}

TSimpleTCPClient::~TSimpleTCPClient() {
    CloseSocket(true);
}

void TSimpleTCPClient::setConnected(bool value) {
    if (value == connected_) {
        return;
    }
    if (value) {
        Open();
    } else {
        Close();
    }
}

void TSimpleTCPClient::Open() {
    const QByteArray text = host_.toLocal8Bit();
    in_addr address{};
    address.s_addr = ::inet_addr(text.constData());
    if (address.s_addr != INADDR_NONE) {
        ConnectTo(address);
        return;
    }
    if (text.isEmpty()) {
        ReportError(-1, WinSockError::BadAddress);
        return;
    }
    // Under way while the name is looked up, as while the handshake runs.
    connected_ = true;
    lookup_.start(host_, [this](bool found, in_addr resolved) {
        // Raised from the event loop: a failure without an OnError handler must not unwind
        // through it.
        try {
            if (!found) {
                connected_ = false;
                ReportError(-1, WinSockError::BadAddress);
                return;
            }
            ConnectTo(resolved);
        } catch (const ESocketError& failure) {
            qCCritical(lcNet) << "connecting to" << host_ << "failed:" << failure.what();
        }
    });
}

void TSimpleTCPClient::ConnectTo(in_addr host) {
    connected_ = false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr = host;
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket < 0) {
        ReportError(-1, WinSockError::fromErrno(errno));
        return;
    }
    WatchForDeadPeer(socket);
    int error =
        watcher().watch(socket, SocketEvent::Read | SocketEvent::Connect | SocketEvent::Close);
    if (error == 0 &&
        ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
        errno != EINPROGRESS) {
        error = errno;
        watcher().unwatch(socket);
    }
    if (error != 0) {
        ::close(socket);
        ReportError(socket, WinSockError::fromErrno(error));
        return;
    }
    socket_ = socket;
    connected_ = true;
}

void TSimpleTCPClient::Close() {
    lookup_.cancel();
    const int socket = socket_;
    const int error = CloseSocket(true);
    connected_ = false;
    if (error != 0) {
        ReportError(socket, WinSockError::fromErrno(error));
    }
}

void TSimpleTCPClient::setHost(const QString& value) {
    if (value == host_) {
        return;
    }
    if (!connected_) {
        host_ = value;
        return;
    }
    if (!allowChange_) {
        throw ESocketError(QStringLiteral("Can not change Host while connected"));
    }
    setConnected(false);
    host_ = value;
    setConnected(true);
}

void TSimpleTCPClient::setPort(quint16 value) {
    if (value == port_) {
        return;
    }
    if (!connected_) {
        port_ = value;
        return;
    }
    if (!allowChange_) {
        throw ESocketError(QStringLiteral("Can not change Port while connected"));
    }
    setConnected(false);
    port_ = value;
    setConnected(true);
}

qint32 TSimpleTCPClient::Send(const char* Buffer, qint32 Length) {
    return SendOnSocket(*this, Buffer, Length);
}

void TSimpleTCPClient::Notify(int socket, int event, int error) {
    if (error != 0) {
        ReportError(socket, error);
        return;
    }
    switch (event) {
        case SocketEvent::Read:
            ReadAvailable();
            break;
        case SocketEvent::Write:
            FlushPending(*this);
            break;
        case SocketEvent::Connect:
            Raise(OnConnected, this);
            break;
        case SocketEvent::Close: {
            setConnected(false);
            const QPointer<TSimpleTCPClient> alive(this);
            Raise(OnDisconnected, this);
            // The Master ended the link (a Master that is killed or crashes ends it in order):
            // reported like every other loss, so the owner's retry brings the Slave back.
            if (alive && !connected_) {
                ReportError(socket, WinSockError::NotConnected);
            }
            break;
        }
        default:
            break;
    }
}

void TSimpleTCPClient::ReadAvailable() {
    if (!OnRead) {
        return;
    }
    const int socket = socket_;
    QByteArray bytes;
    const int error = ReceiveAvailable(socket, bytes);
    const QPointer<TSimpleTCPClient> alive(this);
    // Every byte received is delivered, also those that arrived before a receive failure.
    if (!bytes.isEmpty()) {
        Raise(OnRead, this, bytes.constData(), static_cast<qint32>(bytes.size()));
    }
    if (error != 0 && alive) {
        ReportError(socket, error);
    }
}

void TSimpleTCPClient::DropConnection(TCustomSimpleSocket&) {
    setConnected(false);
}

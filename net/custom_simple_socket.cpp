#include "net/custom_simple_socket.h"

#include "net/readiness_watcher.h"
#include "net/win_sock_error.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QPointer>
#include <algorithm>
#include <cerrno>

namespace {

constexpr qsizetype kReceiveChunk = 8193;

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

TCustomSimpleSocket::TCustomSimpleSocket(QObject* Owner) : QObject(Owner) {}

TCustomSimpleSocket::~TCustomSimpleSocket() = default;

void TCustomSimpleSocket::setHost(const QString&) {}

void TCustomSimpleSocket::setPort(quint16) {}

void TCustomSimpleSocket::ReportError(int socket, int code) {
    const QString text = WinSockError::text(code);
    if (!OnError) {
        throw ESocketError(text);
    }
    Raise(OnError, this, socket, code, text);
}

ReadinessWatcher& TCustomSimpleSocket::watcher() {
    if (!watcher_) {
        watcher_ = std::make_unique<ReadinessWatcher>(
            [this](int socket, int event, int error) { Notify(socket, event, error); });
    }
    return *watcher_;
}

qint32 TCustomSimpleSocket::SendOnSocket(TCustomSimpleSocket& carrier, const char* Buffer,
                                         qint32 Length) {
    const int socket = carrier.socket_;
    if (socket < 0 || Length <= 0) {
        return 0;
    }
    qint32 sent = 0;
    if (carrier.pending_.empty()) {
        const ssize_t taken =
            ::send(socket, Buffer, static_cast<std::size_t>(Length), MSG_NOSIGNAL);
        if (taken < 0 && !wouldBlock(errno)) {
            ReportError(socket, WinSockError::fromErrno(errno));
            return -1;
        }
        sent = taken < 0 ? 0 : static_cast<qint32>(taken);
        if (sent == Length) {
            return Length;
        }
    }
    TCustomSimpleSocket& server = *carrier.watchedBy_;
    if (!carrier.pending_.append(Buffer + sent, static_cast<std::size_t>(Length - sent))) {
        QPointer<TCustomSimpleSocket> stillThere(&carrier);
        try {
            ReportError(socket, WinSockError::NoBufferSpace);
        } catch (...) {
            if (stillThere) {
                server.DropConnection(*stillThere);
            }
            throw;
        }
        if (stillThere) {
            server.DropConnection(*stillThere);
        }
        return -1;
    }
    server.watcher().setWriteWanted(socket, true);
    return Length;
}

void TCustomSimpleSocket::FlushPending(TCustomSimpleSocket& carrier) {
    const int socket = carrier.socket_;
    PendingBytes& pending = carrier.pending_;
    while (!pending.empty()) {
        const ssize_t taken = ::send(socket, pending.data(), pending.size(), MSG_NOSIGNAL);
        if (taken < 0) {
            if (wouldBlock(errno)) {
                return;
            }
            const int code = WinSockError::fromErrno(errno);
            pending.clear();
            carrier.watchedBy_->watcher().setWriteWanted(socket, false);
            ReportError(socket, code);
            return;
        }
        pending.consume(static_cast<std::size_t>(taken));
    }
    carrier.watchedBy_->watcher().setWriteWanted(socket, false);
}

int TCustomSimpleSocket::ReceiveAvailable(int socket, QByteArray& bytes) {
    while (bytes.size() < kReadPerEvent) {
        const qsizetype before = bytes.size();
        const qsizetype wanted = std::min(kReceiveChunk, kReadPerEvent - before);
        bytes.resize(before + wanted);
        const ssize_t received =
            ::recv(socket, bytes.data() + before, static_cast<std::size_t>(wanted), 0);
        if (received < 0) {
            const int error = errno;
            bytes.resize(before);
            return wouldBlock(error) ? 0 : WinSockError::fromErrno(error);
        }
        bytes.resize(before + received);
        if (received != wanted) {
            return 0;
        }
    }
    watcher().readAgainLater(socket);
    return 0;
}

void TCustomSimpleSocket::DisableCoalescing(int socket) {
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

void TCustomSimpleSocket::WatchForDeadPeer(int socket) {
    const int on = 1;
    const int idleSeconds = 2;
    const int intervalSeconds = 1;
    const int probes = 3;
    // Covers the probes too: with TCP_USER_TIMEOUT set, Linux ends a probed connection only once
    // this much time has passed without an answer.
    const unsigned unacknowledgedMs = 5000;
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on));
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof(idleSeconds));
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof(intervalSeconds));
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof(probes));
    ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs,
                 sizeof(unacknowledgedMs));
}

void TCustomSimpleSocket::Detach() {
    if (socket_ >= 0 && watchedBy_ != this && watchedBy_->watcher_) {
        watchedBy_->watcher_->unwatch(socket_);
    }
    watchedBy_ = this;
}

void TCustomSimpleSocket::AttachSocket(int socket, TCustomSimpleSocket& watchedBy) {
    socket_ = socket;
    watchedBy_ = &watchedBy;
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        host_ = QString::fromLatin1(::inet_ntoa(local.sin_addr));
        port_ = ntohs(local.sin_port);
    }
}

int TCustomSimpleSocket::CloseSocket(bool abortive) {
    if (socket_ < 0) {
        return 0;
    }
    if (watchedBy_->watcher_) {
        watchedBy_->watcher_->unwatch(socket_);
    }
    pending_.clear();
    if (abortive) {
        // No shutdown() first: its FIN would give the peer an orderly end before the reset.
        const linger abort{1, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    }
    const int result = ::close(socket_) == 0 ? 0 : errno;
    socket_ = -1;
    watchedBy_ = this;
    return result;
}

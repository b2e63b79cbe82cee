#include "loopback.h"

#include "net/simple_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QTest>
#include <cerrno>
#include <stdexcept>

namespace {

sockaddr_in loopbackAddress(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

quint16 portOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("getsockname failed");
    }
    return ntohs(address.sin_port);
}

}  // namespace

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

void settle(int ms) {
    QTest::qWait(ms);
}

quint16 boundPort(const TSimpleTCPServer& server) {
    return portOf(server.socketHandle());
}

quint16 freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopbackAddress(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const quint16 port = portOf(fd);
    ::close(fd);
    return port;
}

RawPeer::RawPeer(RawPeer&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

RawPeer& RawPeer::operator=(RawPeer&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
}

RawPeer::~RawPeer() {
    close();
}

RawPeer RawPeer::connectTo(quint16 port, int receiveBuffer) {
    RawPeer peer(::socket(AF_INET, SOCK_STREAM, 0));
    if (receiveBuffer > 0) {
        ::setsockopt(peer.fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    }
    const sockaddr_in address = loopbackAddress(port);
    if (::connect(peer.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        throw std::runtime_error("connect failed");
    }
    return peer;
}

RawPeer RawPeer::from(const char* source) {
    RawPeer peer(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, source, &address.sin_addr) != 1 ||
        ::bind(peer.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        throw std::runtime_error("bind failed");
    }
    return peer;
}

RawPeer RawPeer::connectFrom(const char* source, quint16 port) {
    RawPeer peer = from(source);
    peer.connect(port);
    return peer;
}

void RawPeer::connect(quint16 port) const {
    const sockaddr_in address = loopbackAddress(port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        throw std::runtime_error("connect failed");
    }
}

RawPeer RawPeer::startConnect(quint16 port) {
    RawPeer peer(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    const sockaddr_in address = loopbackAddress(port);
    if (::connect(peer.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
        errno != EINPROGRESS) {
        throw std::runtime_error("connect failed");
    }
    return peer;
}

RawPeer RawPeer::listenOn(bool reuseAddress, quint16 port) {
    RawPeer peer(::socket(AF_INET, SOCK_STREAM, 0));
    const int reuse = reuseAddress ? 1 : 0;
    ::setsockopt(peer.fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    const sockaddr_in address = loopbackAddress(port);
    if (::bind(peer.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(peer.fd_, 5) != 0) {
        throw std::runtime_error("listen failed");
    }
    return peer;
}

quint16 RawPeer::localPort() const {
    return portOf(fd_);
}

void RawPeer::send(const QByteArray& bytes) const {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + sent,
                                 static_cast<std::size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0) {
            throw std::runtime_error("send failed");
        }
        sent += n;
    }
}

QByteArray RawPeer::readAvailable() const {
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n <= 0) {
            return bytes;
        }
        bytes.append(chunk, n);
    }
}

QByteArray RawPeer::readExactly(qsizetype count, int timeoutMs) const {
    QByteArray bytes;
    waitFor(
        [&] {
            bytes += readAvailable();
            return bytes.size() >= count;
        },
        timeoutMs);
    return bytes;
}

int RawPeer::waitForEnd(int timeoutMs) const {
    int end = -1;
    waitFor(
        [&] {
            char chunk[4096];
            const ssize_t n = ::recv(fd_, chunk, sizeof(chunk), MSG_DONTWAIT);
            if (n == 0) {
                end = 0;
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                end = errno;
            }
            return end != -1;
        },
        timeoutMs);
    return end;
}

void RawPeer::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

RawPeer RawPeer::accept() const {
    return RawPeer(::accept(fd_, nullptr, nullptr));
}

#include "e2e/held_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <utility>

namespace {

sockaddr_in loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool sendAll(int fd, const char* bytes, ssize_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, bytes, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= n;
    }
    return true;
}

}  // namespace

HeldLink::HeldLink(quint16 masterPort) : masterPort_(masterPort) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("the relay cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

HeldLink::~HeldLink() {
    ending_ = true;
    thread_.join();
    closeBoth();
    close(listener_);
}

void HeldLink::closeBoth() {
    for (int* fd : {&slave_, &master_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    held_.clear();
    delayed_.clear();
    delayedUntil_.reset();
}

bool HeldLink::toSlave(const char* bytes, qsizetype size) {
    const QByteArrayView received(bytes, size);
    if (delayedUntil_) {
        delayed_.append(received);
        return true;
    }
    const qsizetype play = received.indexOf(QByteArrayView("_Play*"));
    if (playDelayMs_ <= 0 || play < 0) {
        return sendAll(slave_, bytes, size);
    }
    delayed_ = received.sliced(play).toByteArray();
    delayedUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(playDelayMs_);
    return sendAll(slave_, bytes, play);
}

bool HeldLink::releaseHeldPlay() {
    if (!delayedUntil_ || std::chrono::steady_clock::now() < *delayedUntil_) {
        return true;
    }
    delayedUntil_.reset();
    const QByteArray bytes = std::exchange(delayed_, QByteArray());
    return sendAll(slave_, bytes.constData(), bytes.size());
}

void HeldLink::run() {
    std::array<char, 4096> buffer{};
    while (!ending_) {
        if (dropped_.exchange(false)) {
            closeBoth();
        }
        if (open_ && slave_ >= 0 && master_ < 0) {
            master_ = socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in address = loopback(masterPort_);
            if (connect(master_, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
                    0 ||
                !sendAll(master_, held_.constData(), held_.size())) {
                closeBoth();
            }
            held_.clear();
        }
        if (master_ >= 0 && !releaseHeldPlay()) {
            closeBoth();
        }
        std::array<pollfd, 3> fds{pollfd{listener_, POLLIN, 0}, pollfd{slave_, POLLIN, 0},
                                  pollfd{master_, POLLIN, 0}};
        if (poll(fds.data(), fds.size(), 10) <= 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const int accepted = accept(listener_, nullptr, nullptr);
            // A Slave that comes again replaces its broken connection.
            closeBoth();
            slave_ = accepted;
            continue;
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = recv(slave_, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                closeBoth();
            } else if (master_ < 0) {
                held_.append(buffer.data(), n);
            } else if (!sendAll(master_, buffer.data(), n)) {
                closeBoth();
            }
        }
        if (master_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = recv(master_, buffer.data(), buffer.size(), 0);
            if (n <= 0 || !toSlave(buffer.data(), n)) {
                closeBoth();
            }
        }
    }
}

#include "media/gst/udp_poll_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

std::unique_ptr<UdpPollThread> UdpPollThread::own(int socket) {
    const int wake = ::eventfd(0, EFD_CLOEXEC);
    if (wake < 0) {
        const int why = errno;
        ::close(socket);
        errno = why;
        return nullptr;
    }
    return std::unique_ptr<UdpPollThread>(new UdpPollThread(socket, wake));
}

UdpPollThread::~UdpPollThread() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    ::close(socket_);
    ::close(wake_);
}

void UdpPollThread::start(std::function<void(const UdpPollThread&)> serve) {
    thread_ = std::thread([this, serve = std::move(serve)] { serve(*this); });
}

UdpPollThread::Wake UdpPollThread::wait(int timeoutMs) const {
    pollfd watched[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int ready = ::poll(watched, 2, timeoutMs);
    if (ready < 0) {
        return errno == EINTR ? Wake::Quiet : Wake::End;
    }
    if ((watched[1].revents & POLLIN) != 0) {
        return Wake::End;
    }
    if ((watched[0].revents & POLLIN) != 0) {
        return Wake::Readable;
    }
    if ((watched[0].revents & POLLERR) != 0) {
        // A datagram refused (nothing listens at the peer's port) leaves an error on the socket
        // that ends every wait at once until it is read: the thread would spin until its next
        // datagram.
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size);
    }
    return Wake::Quiet;
}

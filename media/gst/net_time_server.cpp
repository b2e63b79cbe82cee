#include "media/gst/net_time_server.h"

#include "media/gst/net_time_packet.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::unique_ptr<NetTimeServer> NetTimeServer::bind(GstClock* clock, quint16 port, QString& error) {
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (socket < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(socket);
        return nullptr;
    }
    const int wake = ::eventfd(0, EFD_CLOEXEC);
    if (wake < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(socket);
        return nullptr;
    }
    return std::unique_ptr<NetTimeServer>(new NetTimeServer(clock, socket, wake));
}

NetTimeServer::NetTimeServer(GstClock* clock, int socket, int wake)
    : clock_(GST_CLOCK(gst_object_ref(clock))),
      socket_(socket),
      wake_(wake),
      thread_([this] { serve(); }) {}

NetTimeServer::~NetTimeServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(socket_);
    ::close(wake_);
    gst_object_unref(clock_);
}

void NetTimeServer::serve() {
    pollfd watched[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    while (::poll(watched, 2, -1) >= 0 || errno == EINTR) {
        if ((watched[1].revents & POLLIN) != 0) {
            return;
        }
        if ((watched[0].revents & POLLIN) == 0) {
            continue;
        }
        net_time_packet::Bytes packet{};
        sockaddr_storage from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got =
            ::recvfrom(socket_, packet.data(), packet.size(), MSG_DONTWAIT | MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got != static_cast<ssize_t>(packet.size())) {
            continue;
        }
        net_time_packet::put(packet.data() + 8, gst_clock_get_time(clock_));
        ::sendto(socket_, packet.data(), packet.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&from), fromSize);
    }
}

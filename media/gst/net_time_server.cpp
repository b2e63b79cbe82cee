#include "media/gst/net_time_server.h"

#include "media/gst/net_time_packet.h"
#include "media/gst/udp_poll_thread.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

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
    std::unique_ptr<UdpPollThread> thread = UdpPollThread::own(socket);
    if (!thread) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    return std::unique_ptr<NetTimeServer>(new NetTimeServer(clock, std::move(thread)));
}

NetTimeServer::NetTimeServer(GstClock* clock, std::unique_ptr<UdpPollThread> thread)
    : clock_(GST_CLOCK(gst_object_ref(clock))), thread_(std::move(thread)) {
    thread_->start([this](const UdpPollThread& udp) { serve(udp); });
}

NetTimeServer::~NetTimeServer() {
    // The thread reads the clock: it ends first.
    thread_.reset();
    gst_object_unref(clock_);
}

void NetTimeServer::serve(const UdpPollThread& udp) {
    for (;;) {
        const UdpPollThread::Wake wake = udp.wait(-1);
        if (wake == UdpPollThread::Wake::End) {
            return;
        }
        if (wake != UdpPollThread::Wake::Readable) {
            continue;
        }
        net_time_packet::Bytes packet{};
        sockaddr_storage from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got =
            ::recvfrom(udp.socket(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got != static_cast<ssize_t>(packet.size())) {
            continue;
        }
        net_time_packet::put(packet.data() + 8, gst_clock_get_time(clock_));
        ::sendto(udp.socket(), packet.data(), packet.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&from), fromSize);
    }
}

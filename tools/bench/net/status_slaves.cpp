// Plays N LAN Slaves for the status benchmark (status-bench): N plain sockets on loopback that
// read whatever the Master sends and, in "report" mode, answer it as a program Slave does: their
// media once on connecting, a "cued" report at each "DoNC" and a "playing" report at each
// "Play". In "silent" mode they only read, as Slaves without reports do.
//
//   status_slaves <port> <N> <seconds> silent|report
//
// Prints the bytes the N Slaves sent and the starts they saw.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

std::int64_t wallMs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

double monotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::size_t sendAll(int fd, const std::string& frame) {
    const ssize_t n = ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

struct Slave {
    int fd = -1;
    int segment = 0;
    // A frame cut short at the end of the last read, so that its code is still seen.
    std::string tail;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: status_slaves <port> <N> <seconds> silent|report\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int count = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    const bool report = std::strcmp(argv[4], "report") == 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const int poller = ::epoll_create1(0);
    std::vector<Slave> slaves(static_cast<std::size_t>(count));
    std::size_t sent = 0;
    for (int i = 0; i < count; ++i) {
        Slave& slave = slaves[static_cast<std::size_t>(i)];
        slave.fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(slave.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            std::perror("connect");
            return 2;
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u32 = static_cast<std::uint32_t>(i);
        ::epoll_ctl(poller, EPOLL_CTL_ADD, slave.fd, &event);
        if (report) {
            sent += sendAll(slave.fd, "_sInf1|show.avi|1000|25|1|1280|720|0|frameLock PRO 2.20*");
        }
    }
    long starts = 0;
    const double end = monotonicSeconds() + seconds;
    std::vector<epoll_event> events(256);
    char buffer[65536];
    while (monotonicSeconds() < end) {
        const int ready = ::epoll_wait(poller, events.data(), static_cast<int>(events.size()), 100);
        for (int e = 0; e < ready; ++e) {
            Slave& slave = slaves[events[static_cast<std::size_t>(e)].data.u32];
            const ssize_t n = ::recv(slave.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) {
                if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    ::epoll_ctl(poller, EPOLL_CTL_DEL, slave.fd, nullptr);
                }
                continue;
            }
            std::string text = slave.tail + std::string(buffer, static_cast<std::size_t>(n));
            for (std::size_t at = 0; (at = text.find('_', at)) != std::string::npos; ++at) {
                if (text.compare(at, 5, "_DoNC") == 0) {
                    slave.segment = std::atoi(text.c_str() + at + 5);
                    if (report) {
                        sent += sendAll(slave.fd, "_sStacued|" + std::to_string(slave.segment) +
                                                      "|0|||0|0|" + std::to_string(wallMs()) + "*");
                    }
                } else if (text.compare(at, 6, "_Play*") == 0) {
                    ++starts;
                    if (report) {
                        const std::string now = std::to_string(wallMs());
                        sent += sendAll(slave.fd, "_sStaplay|" + std::to_string(slave.segment) +
                                                      "|0|0|" + now + "|0|0|" + now + "*");
                    }
                }
            }
            const std::size_t last = text.rfind('_');
            slave.tail = last != std::string::npos && text.find('*', last) == std::string::npos
                             ? text.substr(last, 16)
                             : std::string();
        }
    }
    std::printf("slaves %d sent %zu bytes, saw %ld starts\n", count, sent, starts);
    return 0;
}

// The Slaves of the network benchmark, in a process of their own: N plain sockets on loopback.
//
//   net_bench_slaves fanout <port> <N> <frames> <frame-bytes>
//       Connects N sockets one after the other, then for each frame waits until every socket has
//       read it and writes the CLOCK_MONOTONIC time (ns, 8 bytes) of the last read to stdout.
//   net_bench_slaves connect <port> <N>
//       Writes the time it starts, starts N non-blocking connects at once, writes the time the
//       last one completed, and holds the connections until the server closes one.
// Times are comparable with the benchmark's own: both processes read the same monotonic clock.

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

std::int64_t nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

void report(std::int64_t value) {
    if (::write(STDOUT_FILENO, &value, sizeof(value)) != sizeof(value)) {
        std::exit(3);
    }
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

int fanout(int port, int count, int frames, int frameBytes) {
    const sockaddr_in address = loopback(port);
    const int poller = ::epoll_create1(0);
    std::vector<int> sockets;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
            errno != EINPROGRESS) {
            std::perror("connect");
            return 2;
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u32 = static_cast<std::uint32_t>(i);
        ::epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
        sockets.push_back(fd);
    }
    std::vector<std::int64_t> received(static_cast<std::size_t>(count), 0);
    std::int64_t frame = 0;
    int complete = 0;
    std::vector<epoll_event> ready(static_cast<std::size_t>(count));
    char buffer[65536];
    while (frame < frames) {
        const int n = ::epoll_wait(poller, ready.data(), count, 10000);
        if (n <= 0) {
            return 2;
        }
        for (int e = 0; e < n; ++e) {
            const auto i = ready[static_cast<std::size_t>(e)].data.u32;
            const ssize_t got = ::recv(sockets[i], buffer, sizeof(buffer), 0);
            if (got <= 0) {
                return got == 0 ? 0 : 2;
            }
            const std::int64_t before = received[i];
            received[i] += got;
            if (before < (frame + 1) * frameBytes && received[i] >= (frame + 1) * frameBytes) {
                ++complete;
            }
        }
        // The benchmark sends the next frame only after this report, so at most one is in flight.
        if (complete == count) {
            report(nowNs());
            ++frame;
            complete = 0;
        }
    }
    return 0;
}

int connectAll(int port, int count) {
    const sockaddr_in address = loopback(port);
    const int poller = ::epoll_create1(0);
    report(nowNs());
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
            errno != EINPROGRESS) {
            std::perror("connect");
            return 2;
        }
        epoll_event event{};
        event.events = EPOLLOUT | EPOLLIN | EPOLLRDHUP;
        event.data.fd = fd;
        ::epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
    }
    int connected = 0;
    std::vector<epoll_event> ready(static_cast<std::size_t>(count));
    for (;;) {
        const int n = ::epoll_wait(poller, ready.data(), count, 20000);
        if (n <= 0) {
            return 2;
        }
        for (int e = 0; e < n; ++e) {
            const epoll_event& event = ready[static_cast<std::size_t>(e)];
            if (event.events & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP)) {
                return 0;
            }
            epoll_event onlyClose{};
            onlyClose.events = EPOLLIN | EPOLLRDHUP;
            onlyClose.data.fd = event.data.fd;
            ::epoll_ctl(poller, EPOLL_CTL_MOD, event.data.fd, &onlyClose);
            if (++connected == count) {
                report(nowNs());
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "fanout" && argc == 6) {
        return fanout(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                      std::atoi(argv[5]));
    }
    if (mode == "connect" && argc == 4) {
        return connectAll(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    std::fprintf(stderr,
                 "usage: net_bench_slaves fanout <port> <N> <frames> <frame-bytes>\n"
                 "       net_bench_slaves connect <port> <N>\n");
    return 1;
}

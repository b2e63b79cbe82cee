#include "media/gst/net_time_client.h"

#include "media/gst/net_time_packet.h"
#include "media/gst/udp_poll_thread.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// Often while learning, so that a Slave settles within a second; calmer once settled.
constexpr int LearningEveryMs = 100;
constexpr int SettledEveryMs = 500;

std::int64_t elapsedMs(std::uint64_t from, std::uint64_t to) {
    return static_cast<std::int64_t>(to - from) / 1'000'000;
}

}  // namespace

std::unique_ptr<NetTimeClient> NetTimeClient::follow(const QString& address, quint16 port) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (port == 0 || ::inet_pton(AF_INET, address.toLatin1().constData(), &server.sin_addr) != 1) {
        return nullptr;
    }
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (socket < 0 ||
        ::connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        if (socket >= 0) {
            ::close(socket);
        }
        return nullptr;
    }
    std::unique_ptr<UdpPollThread> thread = UdpPollThread::own(socket);
    if (!thread) {
        return nullptr;
    }
    return std::unique_ptr<NetTimeClient>(new NetTimeClient(std::move(thread)));
}

NetTimeClient::NetTimeClient(std::unique_ptr<UdpPollThread> thread) : thread_(std::move(thread)) {
    startNewClock();
    thread_->start([this](const UdpPollThread& udp) { run(udp); });
}

NetTimeClient::~NetTimeClient() {
    // The thread reads and replaces the clock: it ends first.
    thread_.reset();
    gst_object_unref(clock_);
}

NetTimeClient::Status NetTimeClient::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

GstClock* NetTimeClient::settledClock() const {
    const std::lock_guard lock(mutex_);
    return status_.settled ? GST_CLOCK(gst_object_ref(clock_)) : nullptr;
}

quint16 NetTimeClient::localPort() const {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    ::getsockname(thread_->socket(), reinterpret_cast<sockaddr*>(&local), &size);
    return ntohs(local.sin_port);
}

void NetTimeClient::startNewClock() {
    // A clock object of its own, not the shared system clock: its calibration is this
    // Master's alone.
    auto* clock = GST_CLOCK(g_object_new(GST_TYPE_SYSTEM_CLOCK, "name", "show-clock", nullptr));
    gst_object_ref_sink(clock);
    const std::lock_guard lock(mutex_);
    if (clock_ != nullptr) {
        gst_object_unref(clock_);
    }
    clock_ = clock;
    status_.settled = false;
}

void NetTimeClient::run(const UdpPollThread& udp) {
    std::uint64_t asked = 0;
    for (;;) {
        asked = gst_clock_get_internal_time(clock_);
        const auto question = net_time_packet::make(asked, 0);
        ::send(udp.socket(), question.data(), question.size(), MSG_DONTWAIT);
        const int every = status().settled ? SettledEveryMs : LearningEveryMs;
        std::uint64_t now = asked;
        while (elapsedMs(asked, now) < every) {
            const UdpPollThread::Wake wake =
                udp.wait(static_cast<int>(every - elapsedMs(asked, now)));
            if (wake == UdpPollThread::Wake::End) {
                return;
            }
            net_time_packet::Bytes answer{};
            if (wake == UdpPollThread::Wake::Readable &&
                ::recv(udp.socket(), answer.data(), answer.size(), MSG_DONTWAIT | MSG_TRUNC) ==
                    static_cast<ssize_t>(answer.size()) &&
                net_time_packet::get(answer.data()) == asked) {
                learn(asked, gst_clock_get_internal_time(clock_),
                      net_time_packet::get(answer.data() + 8));
            }
            now = gst_clock_get_internal_time(clock_);
        }
    }
}

void NetTimeClient::learn(std::uint64_t asked, std::uint64_t answered, std::uint64_t remote) {
    const auto roundTrip = static_cast<std::int64_t>(answered - asked);
    const std::uint64_t middle = asked + static_cast<std::uint64_t>(roundTrip / 2);
    const auto offset = static_cast<std::int64_t>(remote - middle);
    const ClockSamples::Verdict verdict = samples_.judge(offset, roundTrip);
    if (verdict == ClockSamples::Verdict::Skip) {
        return;
    }
    if (verdict == ClockSamples::Verdict::Stepped) {
        startNewClock();
        const std::lock_guard lock(mutex_);
        ++status_.steps;
        status_.lastStepNs = samples_.lastStepNs();
    }
    gdouble fit = 0;
    const bool calibrated = gst_clock_add_observation(clock_, middle, remote, &fit);
    const std::lock_guard lock(mutex_);
    status_.settled = status_.settled || calibrated;
    status_.offsetNs = offset;
    status_.roundTripNs = roundTrip;
}

// How long a Slave's shared clock takes to come back on the Master's time after the Master's
// clock steps: the Master's time server on loopback is replaced by one whose clock stands
// 600 s back, a day back or 600 s ahead, and the client is timed until its new clock has
// settled on the new time. Prints median, p95 and max per step, in ms.
//
//     build/clock_step_bench 10
#include "../media/stats.h"
#include "media/gst/net_time_client.h"
#include "media/gst/net_time_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t Second = 1'000'000'000;
constexpr std::int64_t Day = 86'400 * Second;

GstClock* clockAhead(std::int64_t offsetNs) {
    auto* clock = GST_CLOCK(g_object_new(GST_TYPE_SYSTEM_CLOCK, nullptr));
    gst_object_ref_sink(clock);
    const GstClockTime now = gst_clock_get_internal_time(clock);
    gst_clock_set_calibration(clock, now, now + static_cast<GstClockTime>(offsetNs), 1, 1);
    return clock;
}

quint16 freeUdpPort() {
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t size = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    return ntohs(address.sin_port);
}

// Milliseconds from the step until the client's new clock settled, or -1 after 30 s.
double timeOneStep(std::int64_t stepNs) {
    const quint16 port = freeUdpPort();
    GstClock* before = clockAhead(2 * Day);
    QString error;
    auto server = NetTimeServer::bind(before, port, error);
    const auto client = NetTimeClient::follow(QStringLiteral("127.0.0.1"), port);
    while (!client->status().settled) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    GstClock* after = clockAhead(2 * Day + stepNs);
    const auto stepped = Clock::now();
    server.reset();
    server = NetTimeServer::bind(after, port, error);
    double ms = -1;
    while (Clock::now() - stepped < std::chrono::seconds(30)) {
        const NetTimeClient::Status status = client->status();
        if (status.steps == 1 && status.settled) {
            ms = std::chrono::duration<double, std::milli>(Clock::now() - stepped).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server.reset();
    gst_object_unref(before);
    gst_object_unref(after);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::pair<const char*, std::int64_t> steps[] = {
        {"600 s back", -600 * Second}, {"a day back", -Day}, {"600 s ahead", 600 * Second}};
    std::printf("%-12s %8s %8s %8s  (ms from the step to a new settled clock, %d runs)\n", "step",
                "median", "p95", "max", runs);
    for (const auto& [name, step] : steps) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            times.push_back(timeOneStep(step));
        }
        const Summary summary = summarize(times);
        std::printf("%-12s %8.0f %8.0f %8.0f\n", name, summary.median, summary.p95,
                    *std::max_element(times.begin(), times.end()));
    }
    return 0;
}

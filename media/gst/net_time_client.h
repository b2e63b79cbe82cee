#pragma once

#include "media/clock_samples.h"

#include <gst/gst.h>

#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

class UdpPollThread;

// Follows the clock a Master serves (NetTimeServer, or GStreamer's network time provider of an
// older version) from a Slave: asks it for its time a few times a second and keeps a clock
// calibrated to its answers.
//
// Only the Master's own answers count: the socket is connected to the Master's address, and an
// answer must carry back the time of the question it answers. When the Master's clock steps
// (ClockSamples), the calibrated clock is left as it was, still running at the rate it learnt,
// so a pipeline that runs on it plays on undisturbed, and a new clock starts to learn; it is
// handed out once it has settled.
class NetTimeClient {
public:
    struct Status {
        bool settled = false;
        std::int64_t offsetNs = 0;
        std::int64_t roundTripNs = 0;
        // How often the Master's clock stepped, and the last step's size.
        int steps = 0;
        std::int64_t lastStepNs = 0;
    };

    // The server at the IPv4 address in dotted form, or none when the address is no such
    // address or no socket can be had.
    static std::unique_ptr<NetTimeClient> follow(const QString& address, quint16 port);
    ~NetTimeClient();
    NetTimeClient(const NetTimeClient&) = delete;
    NetTimeClient& operator=(const NetTimeClient&) = delete;

    Status status() const;
    // The settled clock, a reference for the caller; nullptr until a clock has settled.
    GstClock* settledClock() const;
    // The local UDP port the answers come to.
    quint16 localPort() const;

private:
    explicit NetTimeClient(std::unique_ptr<UdpPollThread> thread);
    void run(const UdpPollThread& udp);
    void learn(std::uint64_t asked, std::uint64_t answered, std::uint64_t remote);
    void startNewClock();

    mutable std::mutex mutex_;
    GstClock* clock_ = nullptr;  // guarded; owned
    Status status_;              // guarded
    ClockSamples samples_;       // the thread's
    std::unique_ptr<UdpPollThread> thread_;
};

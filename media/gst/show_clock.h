#pragma once

#include "media/media_service.h"

#include <gst/gst.h>

#include <QString>
#include <cstdint>
#include <optional>

typedef struct _GstNetTimeProvider GstNetTimeProvider;

// The clock the pipelines of one instance run on, shared over the network in a LAN show.
//
// A publishing Master runs its pipelines on its own clock and serves that clock's time on a UDP
// port (GStreamer's network time provider). A following Slave keeps a network client clock of
// the Master's address; once that clock has settled its pipelines run on it, and so at the
// Master's rate, whatever their own crystal or sound card does. Until then, and when the Master
// cannot be reached, they run on the local clock as an unshared show does.
//
// A pipeline takes its clock when it is set running, so a switch applies from its next start.
//
// Threads: UI thread only (GStreamer's own threads keep the network clock).
class ShowClock {
public:
    // driftPpm makes the local clock run that many parts per million fast: a diagnostic that
    // stands in for two machines' crystals, which one machine cannot otherwise show.
    explicit ShowClock(int driftPpm = 0);
    ~ShowClock();
    ShowClock(const ShowClock&) = delete;
    ShowClock& operator=(const ShowClock&) = delete;

    // Replaces what was set before; the same setup again keeps the clocks as they are.
    void setup(const ClockSetup& setup);
    SharedClockState state();

    // Sets the pipeline running on the clock it is to use now. With a base time the pipeline
    // renders running time r at clock time base + r instead of choosing its own base.
    GstStateChangeReturn run(GstElement* pipeline, std::optional<GstClockTime> baseTime);

private:
    void stopSharing();
    // The clock to give a pipeline; none: it chooses its own.
    GstClock* pipelineClock();
    void takeStatistics(SharedClockState& state);

    ClockSetup setup_;
    GstClock* local_ = nullptr;  // owned
    GstNetTimeProvider* provider_ = nullptr;
    GstClock* remote_ = nullptr;  // network client clock, owned
    GstBus* statistics_ = nullptr;
    bool settled_ = false;
    std::int64_t offsetNs_ = 0;
    std::int64_t roundTripNs_ = 0;
};

#pragma once

#include "media/media_service.h"

#include <gst/gst.h>

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class NetTimeClient;
class NetTimeServer;

// The clock the pipelines of one instance run on, shared over the network in a LAN show.
//
// A publishing Master runs its pipelines on its own clock and serves that clock's time on a UDP
// port; a port it cannot have is tried again now and then. A following Slave keeps a network
// client clock of the Master's address; once that clock has settled its pipelines run on it,
// and so at the Master's rate, whatever their own crystal or sound card does. Until then, and
// when the Master cannot be reached, they run on the local clock as an unshared show does.
//
// A pipeline takes its clock when it is set running, so a switch applies from its next start.
//
// Threads: UI thread only (the time server and client keep threads of their own).
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
    // Following: drops the clock, which no longer agrees with the Master, and starts a new one.
    void renew();

    // Sets the pipeline running on the clock it is to use now. With a base time the pipeline
    // renders running time r at clock time base + r instead of choosing its own base.
    GstStateChangeReturn run(GstElement* pipeline, std::optional<GstClockTime> baseTime);

private:
    void stopSharing();
    // The clock to give a pipeline, a reference for the caller; none: it chooses its own.
    GstClock* pipelineClock();
    void publish();

    ClockSetup setup_;
    GstClock* local_ = nullptr;  // owned
    std::unique_ptr<NetTimeServer> server_;
    QString publishError_;
    QElapsedTimer publishTried_;
    std::unique_ptr<NetTimeClient> client_;
    // Steps seen by the clients dropped before the current one.
    int pastSteps_ = 0;
};

#include "media/gst/show_clock.h"

#include "media/gst/net_time_client.h"
#include "media/gst/net_time_server.h"
#include "media/media_log.h"

#include <QTimer>
#include <utility>

namespace {

constexpr std::int64_t PartsPerMillion = 1'000'000;
constexpr int RestorePollMs = 10;
// A pipeline still prerolling when it was told to run gets this long to get there.
constexpr int RestoreTries = 500;
// A port another program holds may come free; asking for it costs one system call.
constexpr qint64 PublishRetryMs = 2000;

GstClock* makeLocalClock(int driftPpm) {
    if (driftPpm == 0) {
        return gst_system_clock_obtain();
    }
    // A clock object of its own: calibrating the shared system clock would change every
    // pipeline of the process, not only the show's.
    auto* clock = GST_CLOCK(g_object_new(GST_TYPE_SYSTEM_CLOCK, "name", "drifting-clock", nullptr));
    gst_object_ref_sink(clock);
    const GstClockTime now = gst_clock_get_internal_time(clock);
    gst_clock_set_calibration(clock, now, now, PartsPerMillion + driftPpm, PartsPerMillion);
    qCInfo(lcMedia) << "the local clock runs" << driftPpm << "ppm fast (diagnostic setting)";
    return clock;
}

bool sameSetup(const ClockSetup& a, const ClockSetup& b) {
    return a.role == b.role && a.masterHost == b.masterHost && a.port == b.port &&
           a.driftPpm == b.driftPpm;
}

// Start time NONE keeps the pipeline from choosing its own base time; left so, the next
// flushing seek while running would keep the old base and every frame would come late.
void restoreStartTime(GstElement* pipeline, int triesLeft) {
    GstState current = GST_STATE_VOID_PENDING;
    gst_element_get_state(pipeline, &current, nullptr, 0);
    const bool running = current == GST_STATE_PLAYING;
    const bool goingToRun = GST_STATE_TARGET(pipeline) == GST_STATE_PLAYING;
    if (running || !goingToRun || triesLeft <= 0) {
        if (gst_element_get_start_time(pipeline) == GST_CLOCK_TIME_NONE) {
            gst_element_set_start_time(pipeline, 0);
        }
        gst_object_unref(pipeline);
        return;
    }
    QTimer::singleShot(RestorePollMs,
                       [pipeline, triesLeft] { restoreStartTime(pipeline, triesLeft - 1); });
}

}  // namespace

ShowClock::ShowClock(int driftPpm) : local_(makeLocalClock(driftPpm)) {
    setup_.driftPpm = driftPpm;
    if (!gst_is_initialized()) {
        gst_init(nullptr, nullptr);
    }
}

ShowClock::~ShowClock() {
    stopSharing();
    gst_object_unref(local_);
}

void ShowClock::stopSharing() {
    server_.reset();
    publishError_.clear();
    if (client_ != nullptr) {
        pastSteps_ += client_->status().steps;
        client_.reset();
    }
}

void ShowClock::setup(const ClockSetup& setup) {
    if (sameSetup(setup, setup_)) {
        return;
    }
    stopSharing();
    if (setup.driftPpm != setup_.driftPpm) {
        gst_object_unref(local_);
        local_ = makeLocalClock(setup.driftPpm);
    }
    setup_ = setup;
    if (setup.port == 0) {
        setup_.role = ClockSetup::Role::Own;
    }
    if (setup_.role == ClockSetup::Role::Publish) {
        publish();
    } else if (setup_.role == ClockSetup::Role::Follow) {
        renew();
    }
}

void ShowClock::publish() {
    QString error;
    server_ = NetTimeServer::bind(local_, setup_.port, error);
    publishTried_.start();
    if (server_ == nullptr && error != publishError_) {
        qCWarning(lcMedia).noquote()
            << "cannot publish the clock on UDP port" << setup_.port << ":" << error;
    }
    publishError_ = error;
}

void ShowClock::renew() {
    if (setup_.role != ClockSetup::Role::Follow) {
        return;
    }
    if (client_ != nullptr) {
        pastSteps_ += client_->status().steps;
    }
    // The old client first: a new one may get the same local port.
    client_.reset();
    client_ = NetTimeClient::follow(setup_.masterHost, setup_.port);
    if (client_ == nullptr && !setup_.masterHost.isEmpty()) {
        qCWarning(lcMedia).noquote() << "cannot follow the clock of" << setup_.masterHost;
    }
}

SharedClockState ShowClock::state() {
    SharedClockState state;
    if (setup_.role == ClockSetup::Role::Publish && server_ == nullptr &&
        publishTried_.elapsed() >= PublishRetryMs) {
        publish();
    }
    state.publishError = publishError_;
    state.following = setup_.role == ClockSetup::Role::Follow;
    state.steps = pastSteps_;
    if (client_ != nullptr) {
        const NetTimeClient::Status status = client_->status();
        state.settled = status.settled;
        state.offsetNs = status.offsetNs;
        state.roundTripNs = status.roundTripNs;
        state.steps += status.steps;
        state.lastStepNs = status.lastStepNs;
    }
    state.shared = server_ != nullptr || state.settled;
    // The client may have dropped its clock for a step since its status was read.
    GstClock* clock = state.shared ? pipelineClock() : nullptr;
    if (clock != nullptr) {
        state.nowNs = static_cast<std::int64_t>(gst_clock_get_time(clock));
        gst_object_unref(clock);
    } else {
        state.shared = false;
        state.settled = false;
    }
    return state;
}

GstClock* ShowClock::pipelineClock() {
    if (client_ != nullptr) {
        if (GstClock* remote = client_->settledClock()) {
            return remote;
        }
    }
    // Unshared and true, the pipeline chooses as it always did: the sound card's clock when
    // it plays sound.
    return server_ != nullptr || setup_.driftPpm != 0 ? GST_CLOCK(gst_object_ref(local_)) : nullptr;
}

GstStateChangeReturn ShowClock::run(GstElement* pipeline, std::optional<GstClockTime> baseTime) {
    if (!GST_IS_PIPELINE(pipeline)) {
        return gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }
    if (GstClock* clock = pipelineClock()) {
        gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
        // A pipeline that ran before may keep the clock it ran on when it runs again (GStreamer
        // selects its clock anew only in some transitions); after a renewal that is the dropped
        // clock, on which every frame of the new start would be far late or early. Handed to
        // every element now, the clock cannot be missed.
        gst_element_set_clock(pipeline, clock);
        gst_object_unref(clock);
    } else {
        gst_pipeline_auto_clock(GST_PIPELINE(pipeline));
    }
    if (!baseTime) {
        if (gst_element_get_start_time(pipeline) == GST_CLOCK_TIME_NONE) {
            gst_element_set_start_time(pipeline, 0);
        }
        return gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }
    gst_element_set_start_time(pipeline, GST_CLOCK_TIME_NONE);
    gst_element_set_base_time(pipeline, *baseTime);
    const GstStateChangeReturn change = gst_element_set_state(pipeline, GST_STATE_PLAYING);
    restoreStartTime(GST_ELEMENT(gst_object_ref(pipeline)), RestoreTries);
    return change;
}

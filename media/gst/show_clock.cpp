#include "media/gst/show_clock.h"

#include "media/media_log.h"

// GIO, which the network clock includes, names struct members "signals", a word Qt defines.
#pragma push_macro("signals")
#undef signals
#include <gst/net/net.h>
#pragma pop_macro("signals")

#include <QTimer>
#include <utility>

namespace {

constexpr std::int64_t PartsPerMillion = 1'000'000;
constexpr int RestorePollMs = 10;
// A pipeline still prerolling when it was told to run gets this long to get there.
constexpr int RestoreTries = 500;

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
    if (provider_ != nullptr) {
        gst_object_unref(std::exchange(provider_, nullptr));
    }
    if (remote_ != nullptr) {
        gst_object_unref(std::exchange(remote_, nullptr));
    }
    if (statistics_ != nullptr) {
        gst_object_unref(std::exchange(statistics_, nullptr));
    }
    settled_ = false;
    offsetNs_ = 0;
    roundTripNs_ = 0;
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
        provider_ = gst_net_time_provider_new(local_, nullptr, setup.port);
        if (provider_ == nullptr) {
            qCWarning(lcMedia) << "cannot publish the clock on UDP port" << setup.port;
        }
    } else if (setup_.role == ClockSetup::Role::Follow) {
        remote_ = gst_net_client_clock_new("show-clock", setup.masterHost.toUtf8().constData(),
                                           setup.port, 0);
        statistics_ = gst_bus_new();
        g_object_set(remote_, "bus", statistics_, nullptr);
    }
}

void ShowClock::takeStatistics(SharedClockState& state) {
    while (GstMessage* message = gst_bus_pop(statistics_)) {
        const GstStructure* s = gst_message_get_structure(message);
        if (s != nullptr) {
            gint64 offset = 0;
            guint64 roundTrip = 0;
            if (gst_structure_get_int64(s, "local-clock-offset", &offset)) {
                offsetNs_ = offset;
            }
            if (gst_structure_get_uint64(s, "rtt-average", &roundTrip)) {
                roundTripNs_ = static_cast<std::int64_t>(roundTrip);
            }
        }
        gst_message_unref(message);
    }
    state.offsetNs = offsetNs_;
    state.roundTripNs = roundTripNs_;
}

SharedClockState ShowClock::state() {
    SharedClockState state;
    state.following = remote_ != nullptr;
    if (remote_ != nullptr) {
        settled_ = settled_ || gst_clock_is_synced(remote_);
        takeStatistics(state);
    }
    state.settled = settled_;
    state.shared = provider_ != nullptr || settled_;
    if (state.shared) {
        state.nowNs = static_cast<std::int64_t>(gst_clock_get_time(pipelineClock()));
    }
    return state;
}

GstClock* ShowClock::pipelineClock() {
    if (remote_ != nullptr && settled_) {
        return remote_;
    }
    // Unshared and true, the pipeline chooses as it always did: the sound card's clock when
    // it plays sound.
    return provider_ != nullptr || setup_.driftPpm != 0 ? local_ : nullptr;
}

GstStateChangeReturn ShowClock::run(GstElement* pipeline, std::optional<GstClockTime> baseTime) {
    if (!GST_IS_PIPELINE(pipeline)) {
        return gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }
    if (GstClock* clock = pipelineClock()) {
        gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
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

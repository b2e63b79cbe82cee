#include "sink_clock.h"

GstElement* SinkClock::makeSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "preroll-handoff", G_CALLBACK(&SinkClock::onPreroll), this);
    g_signal_connect(sink, "handoff", G_CALLBACK(&SinkClock::onRender), this);
    return sink;
}

void SinkClock::onPreroll(GstElement*, GstBuffer*, GstPad*, gpointer self) {
    auto* clock = static_cast<SinkClock*>(self);
    const auto now = Clock::now();
    std::lock_guard lock(clock->mutex_);
    ++clock->prerolls_;
    clock->lastPreroll_ = now;
    clock->changed_.notify_all();
}

void SinkClock::onRender(GstElement*, GstBuffer*, GstPad*, gpointer self) {
    auto* clock = static_cast<SinkClock*>(self);
    const auto now = Clock::now();
    std::lock_guard lock(clock->mutex_);
    // Only the first frame after a start counts; later ones would overwrite it.
    if (clock->renders_++ == clock->rendersAtRun_) {
        clock->lastRender_ = now;
    }
    clock->changed_.notify_all();
}

int SinkClock::prerolls() const {
    std::lock_guard lock(mutex_);
    return prerolls_;
}

int SinkClock::markRun() {
    std::lock_guard lock(mutex_);
    rendersAtRun_ = renders_;
    return renders_;
}

bool SinkClock::waitPreroll(int count, std::chrono::milliseconds timeout, Clock::time_point& at) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return prerolls_ > count; })) {
        return false;
    }
    at = lastPreroll_;
    return true;
}

bool SinkClock::waitRender(int count, std::chrono::milliseconds timeout, Clock::time_point& at) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return renders_ > count; })) {
        return false;
    }
    at = lastRender_;
    return true;
}

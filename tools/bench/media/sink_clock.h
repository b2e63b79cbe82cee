#pragma once

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

// A clocked fakesink that notes when frames reach it: the moment a preroll frame arrives (a
// cue is complete) and the moment a frame is rendered while playing. Thread safe.
class SinkClock {
public:
    using Clock = std::chrono::steady_clock;

    // A new sink (floating) reporting to this clock; the clock must outlive its pipelines.
    GstElement* makeSink();

    int prerolls() const;
    // Call just before a run: the next rendered frame is the one waitRender() reports.
    int markRun();
    // Waits until more than `count` prerolls (renders) happened: the time of the latest preroll,
    // or of the first frame rendered since markRun(). False after `timeout`.
    bool waitPreroll(int count, std::chrono::milliseconds timeout, Clock::time_point& at);
    bool waitRender(int count, std::chrono::milliseconds timeout, Clock::time_point& at);

private:
    static void onPreroll(GstElement*, GstBuffer*, GstPad*, gpointer self);
    static void onRender(GstElement*, GstBuffer*, GstPad*, gpointer self);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int prerolls_ = 0;
    int renders_ = 0;
    int rendersAtRun_ = 0;
    Clock::time_point lastPreroll_;
    Clock::time_point lastRender_;
};

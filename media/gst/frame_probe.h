#pragma once

#include "media/stream_time.h"

#include <gst/gst.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

// Writes to the event log which frames reach the video sink, as frame numbers in the file:
// "prerolled frame N" for a frame that arrives while the graph holds (the frame a cue or a seek
// leaves on screen), and, once per run, "started frame N" for the first frame the sink shows
// after the graph was set running. That is the frame the sink already held when it was set
// running (it is rendered first), or else the first frame that arrives afterwards.
//
// It lives on the sink pad of the video sink and exists only while framelock.media logs info
// messages: with the log off nothing is attached, and the media path pays nothing. The tests'
// stall of a pipeline hangs on it too (FL_TEST_SINK_STALL_FILE, see frame_probe.cpp).
//
// Threads: setRunning() on the UI thread; the pad callback on the streaming thread.
class SinkFrameLog {
public:
    // A probe on the video sink (the given sink, or the graph's video-overlay element when the
    // graph was built from a description); nullptr when the log is off or there is no sink pad.
    static std::unique_ptr<SinkFrameLog> attach(GstElement* pipeline, GstElement* videoSink,
                                                FrameRate rate);
    SinkFrameLog(GstPad* pad, FrameRate rate);
    ~SinkFrameLog();
    SinkFrameLog(const SinkFrameLog&) = delete;
    SinkFrameLog& operator=(const SinkFrameLog&) = delete;

    // Called just before the graph is set running (true) or holding (false), and announce()
    // just after: the frame the sink already holds is logged then, off the way to the sink.
    void setRunning(bool running);
    void announce();
    // A standby pipeline's sink is not on screen: what reaches it is not logged until it is
    // shown, and then the frame it holds is logged as prerolled, since that is when it appears.
    void setShown(bool shown);

private:
    static GstPadProbeReturn onPad(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    void onBuffer(GstPad* pad, GstBuffer* buffer);
    std::int64_t frameOf(GstPad* pad, GstBuffer* buffer) const;

    GstPad* pad_;  // referenced
    gulong probeId_ = 0;
    const FrameRate rate_;

    std::mutex mutex_;
    bool running_ = false;
    bool shown_ = true;
    bool awaitingStart_ = false;
    // The last frame through the pad since the latest flush: the one the sink holds or shows.
    std::optional<std::int64_t> last_;
    // What announce() logs: "started frame" or "prerolled frame", and the frame.
    const char* pendingWhat_ = nullptr;
    std::int64_t pendingFrame_ = 0;
};

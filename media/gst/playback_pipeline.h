#pragma once

#include "media/gst/frame_probe.h"
#include "media/gst/show_clock.h"
#include "media/standby_plan.h"
#include "media/stream_time.h"

#include <gst/gst.h>

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One GStreamer pipeline of a graph with what belongs to it alone: its video sink, the sinks
// that draw a preroll frame, its bus handler, the surface it draws into and its frame log.
//
// A pipeline is bound to one surface for life: the window id is given at creation and handed
// to the sink when it asks, and can only be withdrawn (when the window goes), never changed. A
// sink given another window later would renegotiate on every play.
//
// Threads: member functions on the UI thread; the bus handler runs on GStreamer's threads and
// reads only the window id.
class PlaybackPipeline {
public:
    // Called for every bus message except a sink's request for a window, which the pipeline
    // answers itself; on a streaming thread.
    using BusHandler = std::function<void(PlaybackPipeline& from, GstMessage* message)>;

    // Takes over one reference to each element; videoSink may be nullptr (a saved graph).
    PlaybackPipeline(GstElement* pipeline, GstElement* videoSink, int surface, WId window);
    // Stops the streaming threads before it lets go of the handler, so that no message arrives
    // afterwards.
    ~PlaybackPipeline();
    PlaybackPipeline(const PlaybackPipeline&) = delete;
    PlaybackPipeline& operator=(const PlaybackPipeline&) = delete;

    void listen(BusHandler handler);

    GstElement* element() const { return pipeline_; }
    GstElement* videoSink() const { return videoSink_; }
    // Which of the window's surfaces it draws into.
    int surface() const { return surface_; }
    void withdrawWindow() { window_ = 0; }

    // Finds the sinks that draw a preroll frame; they exist once the pipeline prerolled.
    void findDisplaySinks();
    void setShowPrerollFrame(bool show);

    // Flushing accurate seek; the stop is always set, since a seek type of NONE would keep the
    // stop of an earlier range. `serial` names the range for completions (0: none yet). False
    // when the pipeline refused it.
    bool seek(const SeekRange& range, std::uint64_t serial);
    // The range it now plays for the graph (0: none).
    void assignRange(std::uint64_t serial) { range_ = serial; }
    // Which range an end of stream completes: the one assigned, or none (0) when the end was
    // on its way before the latest seek. Any thread.
    std::uint64_t rangeEnded(GstMessage* eos) const;
    // Running or holding, with the frame log told before and after. Set running, it runs on
    // `clock` where one is given, and from `baseTime` where one is given (ShowClock::run).
    GstStateChangeReturn setState(GstState state, ShowClock* clock = nullptr,
                                  std::optional<GstClockTime> baseTime = std::nullopt);
    // Goes behind: holds its frame, unseen and not waited for.
    void pauseBehind();
    // The state change under way, without waiting.
    GstStateChangeReturn stateChange() const;
    // Whether no state change is under way: a flushing seek makes the pipeline lose its state
    // before the seek call returns, so this cannot be fooled by a message still on its way.
    bool settled() const;
    bool running() const { return GST_STATE_TARGET(pipeline_) == GST_STATE_PLAYING; }
    // The stream time of the frame the video sink holds, if any.
    std::optional<std::int64_t> heldStreamTime() const;

    // Logs the frames that reach the video sink while the event log is on.
    void attachFrameLog(FrameRate rate, bool shown);
    void setShown(bool shown);

private:
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    GstElement* pipeline_;
    GstElement* videoSink_;
    const int surface_;
    std::atomic<WId> window_;
    std::vector<GstElement*> displaySinks_;
    BusHandler handler_;
    bool listening_ = false;
    std::unique_ptr<SinkFrameLog> frameLog_;
    // Written on the UI thread in this order, read on streaming threads in the other: a range
    // seen assigned has its seek's number seen too.
    std::atomic<guint32> seekSeqnum_{GST_SEQNUM_INVALID};
    std::atomic<std::uint64_t> range_{0};
};

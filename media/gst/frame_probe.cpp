#include "media/gst/frame_probe.h"

#include "media/media_log.h"

#include <gst/video/videooverlay.h>

#include <QFile>

namespace {

// A test hook: while the file FL_TEST_SINK_STALL_FILE names exists, a frame coming to the video
// sink waits (a decoder or a driver that hangs), as long as no flush (a seek, a stop) comes to
// take it away. The variable is read once; without it nothing waits.
void waitWhileStalled(GstPad* pad) {
    static const QString path = qEnvironmentVariable("FL_TEST_SINK_STALL_FILE");
    while (!path.isEmpty() && !GST_PAD_IS_FLUSHING(pad) && QFile::exists(path)) {
        g_usleep(20'000);
    }
}

}  // namespace

std::unique_ptr<SinkFrameLog> SinkFrameLog::attach(GstElement* pipeline, GstElement* videoSink,
                                                   FrameRate rate) {
    if (!lcMedia().isInfoEnabled() || !rate.known() || pipeline == nullptr) {
        return nullptr;
    }
    GstElement* sink = videoSink != nullptr
                           ? GST_ELEMENT(gst_object_ref(videoSink))
                           : gst_bin_get_by_interface(GST_BIN(pipeline), GST_TYPE_VIDEO_OVERLAY);
    if (sink == nullptr) {
        return nullptr;
    }
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_object_unref(sink);
    if (pad == nullptr) {
        return nullptr;
    }
    auto probe = std::make_unique<SinkFrameLog>(pad, rate);
    gst_object_unref(pad);
    return probe;
}

SinkFrameLog::SinkFrameLog(GstPad* pad, FrameRate rate)
    : pad_(GST_PAD(gst_object_ref(pad))), rate_(rate) {
    probeId_ = gst_pad_add_probe(
        pad_,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        &SinkFrameLog::onPad, this, nullptr);
}

SinkFrameLog::~SinkFrameLog() {
    gst_pad_remove_probe(pad_, probeId_);
    gst_object_unref(pad_);
}

void SinkFrameLog::setRunning(bool running) {
    const std::lock_guard lock(mutex_);
    if (running == running_) {
        return;
    }
    running_ = running;
    awaitingStart_ = false;
    pendingWhat_ = nullptr;
    if (!shown_) {
        return;
    }
    if (last_) {
        // Running, the sink shows the frame it held first. Held after running, a sink that waits
        // for the clock with the next frame in hand prerolls on it; should it have shown it
        // already, the frame after it arrives while holding and is reported in turn.
        pendingWhat_ = running ? "started frame" : "prerolled frame";
        pendingFrame_ = *last_;
    } else {
        awaitingStart_ = running;
    }
}

void SinkFrameLog::setShown(bool shown) {
    const std::lock_guard lock(mutex_);
    if (shown == shown_) {
        return;
    }
    shown_ = shown;
    pendingWhat_ = nullptr;
    awaitingStart_ = false;
    if (shown && last_ && !running_) {
        qCInfo(lcMedia) << "prerolled frame" << *last_;
    }
}

void SinkFrameLog::announce() {
    const std::lock_guard lock(mutex_);
    if (pendingWhat_ != nullptr) {
        qCInfo(lcMedia).noquote() << pendingWhat_ << pendingFrame_;
        pendingWhat_ = nullptr;
    }
}

GstPadProbeReturn SinkFrameLog::onPad(GstPad* pad, GstPadProbeInfo* info, gpointer self) {
    auto* probe = static_cast<SinkFrameLog*>(self);
    if ((info->type & GST_PAD_PROBE_TYPE_BUFFER) != 0) {
        waitWhileStalled(pad);
        probe->onBuffer(pad, GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP) {
        const std::lock_guard lock(probe->mutex_);
        probe->last_.reset();
    }
    return GST_PAD_PROBE_OK;
}

void SinkFrameLog::onBuffer(GstPad* pad, GstBuffer* buffer) {
    const std::int64_t frame = frameOf(pad, buffer);
    const std::lock_guard lock(mutex_);
    last_ = frame;
    if (!shown_) {
        return;
    }
    if (!running_) {
        // This frame is the one held now, not the one the state change expected.
        pendingWhat_ = nullptr;
        qCInfo(lcMedia) << "prerolled frame" << frame;
    } else if (awaitingStart_) {
        awaitingStart_ = false;
        qCInfo(lcMedia) << "started frame" << frame;
    }
}

std::int64_t SinkFrameLog::frameOf(GstPad* pad, GstBuffer* buffer) const {
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    if (event == nullptr || !GST_CLOCK_TIME_IS_VALID(pts)) {
        if (event != nullptr) {
            gst_event_unref(event);
        }
        return -1;
    }
    GstSegment segment;
    gst_event_copy_segment(event, &segment);
    gst_event_unref(event);
    guint64 streamTime = 0;
    const int sign = gst_segment_to_stream_time_full(&segment, GST_FORMAT_TIME, pts, &streamTime);
    if (sign <= 0) {
        return 0;
    }
    // A buffer's timestamp is where its frame starts, which a container may store a tick early
    // or late: the nearest frame start is the frame, where a position inside a frame rounds down.
    return stream_time::framesIn(static_cast<std::int64_t>(streamTime), rate_);
}

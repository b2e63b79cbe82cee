#include "media/gst/playback_pipeline.h"

#include <gst/video/videooverlay.h>

#include <utility>

PlaybackPipeline::PlaybackPipeline(GstElement* pipeline, GstElement* videoSink, int surface,
                                   WId window)
    : pipeline_(pipeline), videoSink_(videoSink), surface_(surface), window_(window) {}

PlaybackPipeline::~PlaybackPipeline() {
    frameLog_.reset();
    // NULL joins the streaming threads, so no bus message can arrive after this.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    if (listening_) {
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
    for (GstElement* sink : displaySinks_) {
        gst_object_unref(sink);
    }
    if (videoSink_ != nullptr) {
        gst_object_unref(videoSink_);
    }
    gst_object_unref(pipeline_);
}

void PlaybackPipeline::listen(BusHandler handler) {
    handler_ = std::move(handler);
    listening_ = true;
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, &PlaybackPipeline::onBusMessage, this, nullptr);
    gst_object_unref(bus);
}

GstBusSyncReply PlaybackPipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* pipeline = static_cast<PlaybackPipeline*>(self);
    if (gst_is_video_overlay_prepare_window_handle_message(message)) {
        if (const WId id = pipeline->window_; id != 0) {
            GstVideoOverlay* overlay = GST_VIDEO_OVERLAY(GST_MESSAGE_SRC(message));
            gst_video_overlay_set_window_handle(overlay, id);
            // Mouse buttons go to one X client only: they are ours, for double clicks.
            gst_video_overlay_handle_events(overlay, FALSE);
        }
    } else {
        pipeline->handler_(*pipeline, message);
    }
    // Everything is handled here; nobody pops the bus, so nothing may pile up on it. A dropped
    // message is the handler's to free: kept, each would hold its source element, and so the
    // whole pipeline with its threads' descriptors, long after the graph is gone.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void PlaybackPipeline::findDisplaySinks() {
    if (!displaySinks_.empty()) {
        return;
    }
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(pipeline_));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "show-preroll-frame")) {
            displaySinks_.push_back(GST_ELEMENT(gst_object_ref(element)));
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
}

void PlaybackPipeline::setShowPrerollFrame(bool show) {
    for (GstElement* sink : displaySinks_) {
        g_object_set(sink, "show-preroll-frame", show ? TRUE : FALSE, nullptr);
    }
}

bool PlaybackPipeline::seek(const SeekRange& range, std::uint64_t serial) {
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    GstEvent* event = gst_event_new_seek(1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                                         range.startNs, GST_SEEK_TYPE_SET, range.stopNs);
    seekSeqnum_ = gst_event_get_seqnum(event);
    range_ = serial;
    return gst_element_send_event(pipeline_, event);
}

std::uint64_t PlaybackPipeline::rangeEnded(GstMessage* eos) const {
    const std::uint64_t range = range_;
    const guint32 seek = seekSeqnum_;
    // Sequence numbers grow (modulo 2^32): an end that carries an older one than the seek was
    // made before it, whatever element made it; the elements that pass the seek's own number
    // on to the end, and those that make a new one, both give a number not older.
    const auto age = static_cast<gint32>(gst_message_get_seqnum(eos) - seek);
    return seek != GST_SEQNUM_INVALID && age < 0 ? 0 : range;
}

GstStateChangeReturn PlaybackPipeline::setState(GstState state, ShowClock* clock,
                                                std::optional<GstClockTime> baseTime) {
    if (frameLog_ != nullptr) {
        frameLog_->setRunning(state == GST_STATE_PLAYING);
    }
    const GstStateChangeReturn result = state == GST_STATE_PLAYING && clock != nullptr
                                            ? clock->run(pipeline_, baseTime)
                                            : gst_element_set_state(pipeline_, state);
    if (frameLog_ != nullptr) {
        frameLog_->announce();
    }
    return result;
}

void PlaybackPipeline::pauseBehind() {
    setShowPrerollFrame(false);
    if (frameLog_ != nullptr) {
        frameLog_->setShown(false);
        frameLog_->setRunning(false);
    }
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
}

GstStateChangeReturn PlaybackPipeline::stateChange() const {
    return gst_element_get_state(pipeline_, nullptr, nullptr, 0);
}

bool PlaybackPipeline::settled() const {
    return gst_element_get_state(pipeline_, nullptr, nullptr, 0) == GST_STATE_CHANGE_SUCCESS;
}

std::optional<std::int64_t> PlaybackPipeline::heldStreamTime() const {
    // A graph built from a description is no playbin and has no such property.
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(pipeline_), "sample") == nullptr) {
        return std::nullopt;
    }
    GstSample* sample = nullptr;
    g_object_get(pipeline_, "sample", &sample, nullptr);
    if (sample == nullptr) {
        return std::nullopt;
    }
    std::optional<std::int64_t> result;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (buffer != nullptr && segment != nullptr && GST_BUFFER_PTS_IS_VALID(buffer)) {
        const guint64 time =
            gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
        if (time != GST_CLOCK_TIME_NONE) {
            result = static_cast<std::int64_t>(time);
        }
    }
    gst_sample_unref(sample);
    return result;
}

void PlaybackPipeline::attachFrameLog(FrameRate rate, bool shown) {
    frameLog_ = SinkFrameLog::attach(pipeline_, videoSink_, rate);
    if (frameLog_ != nullptr && !shown) {
        frameLog_->setShown(false);
    }
}

void PlaybackPipeline::setShown(bool shown) {
    if (frameLog_ != nullptr) {
        frameLog_->setShown(shown);
    }
}

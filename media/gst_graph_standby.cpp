// The standby pipeline: a second pipeline of the graph's file, paused on the first frame of the
// range cued next, so that the cue shows it instead of seeking (a seek into a long H.264 GOP
// takes longer than a sync time).
#include "media/gst_graph.h"

#include <gst/video/videooverlay.h>

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcStandby, "framelock.media")

// A prepared pipeline holds decoded frames and buffers: some 15 to 40 MB. Below this much free
// memory the show keeps one pipeline rather than push the machine into swapping.
constexpr qint64 MinAvailableKiB = 256 * 1024;

constexpr int MaxStandbyMisses = 3;

std::optional<qint64> availableMemoryKiB() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // A /proc file has no size: atEnd() holds from the start, so it is read whole.
    for (const QByteArray& raw : meminfo.readAll().split('\n')) {
        const QByteArray line = raw.simplified();
        if (line.startsWith("MemAvailable:")) {
            const QList<QByteArray> parts = line.split(' ');
            bool ok = false;
            const qint64 kib = parts.value(1).toLongLong(&ok);
            return ok ? std::optional(kib) : std::nullopt;
        }
    }
    return std::nullopt;
}

// The stream time of the frame a pipeline's video sink holds, if any.
std::optional<std::int64_t> heldStreamTime(GstElement* playbin) {
    GstSample* sample = nullptr;
    g_object_get(playbin, "sample", &sample, nullptr);
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

// Whether a pipeline has no state change under way: a flushing seek makes it lose its state
// before the seek call returns, so this cannot be fooled by a message still on its way.
bool settled(GstElement* pipeline) {
    return gst_element_get_state(pipeline, nullptr, nullptr, 0) == GST_STATE_CHANGE_SUCCESS;
}

}  // namespace

void GstGraph::setNextRange(std::int64_t current, std::int64_t stop) {
    if (pipeline_ == nullptr || standbyRefused_) {
        return;
    }
    const SeekRange range = seekRangeOf(current, stop);
    if (nextRange_ == range) {
        return;
    }
    nextRange_ = range;
    if (standby_ == nullptr && !createStandby()) {
        nextRange_.reset();
        return;
    }
    advanceStandby();
}

void GstGraph::clearNextRange() {
    nextRange_.reset();
}

bool GstGraph::createStandby() {
    const auto refuse = [this](const char* why) {
        qCInfo(lcStandby) << "cueing" << fileName_ << "by seeking with one pipeline:" << why;
        standbyRefused_ = true;
        return false;
    };
    if (window_ == nullptr) {
        return refuse("the media has no video");
    }
    if (fileName_.endsWith(QStringLiteral(".grf"), Qt::CaseInsensitive)) {
        return refuse("a saved graph plays as written");
    }
    if (!frameFormat_) {
        return refuse("the video cannot count frames");
    }
    if (const std::optional<qint64> free = availableMemoryKiB(); !free || *free < MinAvailableKiB) {
        return refuse("memory is short");
    }
    standbyWindowId_ = window_->standbySurface();
    standby_ = makePlaybin(standbySink_);
    if (standby_ == nullptr) {
        standbyWindowId_ = 0;
        return refuse("no second pipeline");
    }
    standbyFrameProbe_ = SinkFrameLog::attach(standby_, standbySink_, frameRate_);
    if (standbyFrameProbe_ != nullptr) {
        standbyFrameProbe_->setShown(false);
    }
    standbyTag_ = std::make_unique<BusTag>(BusTag{this, standby_, &standbyWindowId_});
    GstBus* bus = gst_element_get_bus(standby_);
    gst_bus_set_sync_handler(bus, &GstGraph::onBusMessage, standbyTag_.get(), nullptr);
    gst_object_unref(bus);
    {
        std::lock_guard lock(mutex_);
        standbyFailed_ = false;
    }
    standbyAttached_ = false;
    standbyMisses_ = 0;
    standbySought_.reset();
    if (gst_element_set_state(standby_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        // An audio device that only one stream may open fails here.
        dropStandby("the second pipeline cannot start (an output that opens only once?)");
        standbyRefused_ = true;
        return false;
    }
    return true;
}

void GstGraph::dropStandby(const char* why) {
    if (standby_ == nullptr) {
        return;
    }
    if (why != nullptr) {
        qCWarning(lcStandby) << "cueing" << fileName_ << "by seeking with one pipeline:" << why;
    }
    standbyFrameProbe_.reset();
    gst_element_set_state(standby_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(standby_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(std::exchange(standby_, nullptr));
    gst_object_unref(std::exchange(standbySink_, nullptr));
    for (GstElement* sink : standbyDisplaySinks_) {
        gst_object_unref(sink);
    }
    standbyDisplaySinks_.clear();
    standbyTag_.reset();
    nextRange_.reset();
    standbySought_.reset();
}

void GstGraph::handleStandbyMessage(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ASYNC_DONE:
            wakeStandby();
            break;
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            qCWarning(lcStandby).noquote()
                << "the standby pipeline of" << fileName_ << "failed:" << error->message;
            g_error_free(error);
            {
                std::lock_guard lock(mutex_);
                standbyFailed_ = true;
            }
            QMetaObject::invokeMethod(
                &notifier_, [this] { advanceStandby(); }, Qt::QueuedConnection);
            break;
        }
        default:
            break;
    }
}

void GstGraph::advanceStandby() {
    if (standby_ == nullptr) {
        return;
    }
    bool failed = false;
    {
        std::lock_guard lock(mutex_);
        failed = standbyFailed_;
    }
    if (failed) {
        standbyRefused_ = true;
        dropStandby("the second pipeline failed");
        return;
    }
    // Seeks only once the previous preparation settled: flushing it half-way costs the same
    // decoding again.
    if (!nextRange_ || nextRange_ == standbySought_ || !settled(standby_)) {
        return;
    }
    if (!standbyAttached_) {
        // The first preroll made the sinks: the surface follows the window's size from now on.
        standbyAttached_ = true;
        GstElement* overlay = gst_bin_get_by_interface(GST_BIN(standby_), GST_TYPE_VIDEO_OVERLAY);
        window_->attachStandby(overlay, standbySink_);
        if (overlay != nullptr) {
            gst_object_unref(overlay);
        }
        standbyDisplaySinks_ = findDisplaySinks(standby_);
    }
    for (GstElement* sink : standbyDisplaySinks_) {
        g_object_set(sink, "show-preroll-frame", TRUE, nullptr);
    }
    standbySought_ = nextRange_;
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek(standby_, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                          nextRange_->startNs, GST_SEEK_TYPE_SET, nextRange_->stopNs)) {
        standbySought_.reset();
    }
}

void GstGraph::swapToStandby(const SeekRange& range) {
    const bool running = runAfterSwap_ || GST_STATE_TARGET(pipeline_) == GST_STATE_PLAYING;
    // The old pipeline goes behind the new one; it holds its frame and is not waited for.
    setShowPrerollFrame(false);
    if (frameProbe_ != nullptr) {
        frameProbe_->setShown(false);
        frameProbe_->setRunning(false);
    }
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    std::swap(pipeline_, standby_);
    std::swap(frameProbe_, standbyFrameProbe_);
    if (frameProbe_ != nullptr) {
        frameProbe_->setShown(true);
    }
    std::swap(videoSink_, standbySink_);
    std::swap(displaySinks_, standbyDisplaySinks_);
    std::swap(tag_, standbyTag_);
    shownPipeline_ = pipeline_;
    shownSecond_ = !shownSecond_;
    window_->showStandbySurface(shownSecond_);
    lastPositionNs_ = range.startNs;
    seekStartNs_ = range.startNs;
    seekStopNs_ = range.stopNs;
    seekSinceRun_ = false;
    // One that ran is prepared only once it has paused; its ASYNC_DONE may come before the
    // roles are swapped, which is why readiness is read from its state, not from messages.
    standbySought_.reset();
    // Started in the next turn unless the cue pauses it in this one: paused right after it
    // started, a pipeline may already hold the next frame.
    runAfterSwap_ = running;
    if (running) {
        QMetaObject::invokeMethod(
            &notifier_,
            [this] {
                if (std::exchange(runAfterSwap_, false)) {
                    if (frameProbe_ != nullptr) {
                        frameProbe_->setRunning(true);
                    }
                    runPipeline(std::nullopt);
                    if (frameProbe_ != nullptr) {
                        frameProbe_->announce();
                    }
                }
            },
            Qt::QueuedConnection);
    }
    advanceStandby();
}

bool GstGraph::standbyReady() {
    if (!standbySought_ || standbySought_ != nextRange_ || !settled(standby_)) {
        return false;
    }
    const std::optional<std::int64_t> held = heldStreamTime(standby_);
    return held && nsToUnits(*held) == nsToUnits(standbySought_->startNs);
}

bool GstGraph::nextRangeReady() {
    advanceStandby();
    return standby_ != nullptr && standbyReady();
}

void GstGraph::wakeStandby() {
    QMetaObject::invokeMethod(
        &notifier_, [this] { advanceStandby(); }, Qt::QueuedConnection);
}

bool GstGraph::waitForStandby() {
    // The seek a cue would fall back to competes for the same cores and takes longer than the
    // preparation under way.
    const auto deadline = std::chrono::steady_clock::now() + options_.standbyWait;
    while (true) {
        advanceStandby();
        if (standby_ == nullptr || !nextRange_) {
            return false;
        }
        if (standbyReady()) {
            standbyMisses_ = 0;
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return standbyMissed("was not ready in time");
        }
        // Returns once the change under way (a pause, or the preparation's preroll) is done.
        const GstStateChangeReturn change = gst_element_get_state(
            standby_, nullptr, nullptr, static_cast<GstClockTime>(left.count()));
        if (change == GST_STATE_CHANGE_FAILURE || change == GST_STATE_CHANGE_NO_PREROLL) {
            return false;
        }
        if (change == GST_STATE_CHANGE_SUCCESS && standbySought_ == nextRange_ && !standbyReady()) {
            return standbyMissed("settled on another frame than the one it was sent to");
        }
    }
}

bool GstGraph::standbyMissed(const char* what) {
    qCInfo(lcStandby) << "the standby of" << fileName_ << what << "and the cue seeks";
    // A standby that keeps missing (stuck, or a machine too slow for two pipelines) would cost
    // its wait at every cue of a show that runs for weeks.
    if (++standbyMisses_ >= MaxStandbyMisses) {
        standbyRefused_ = true;
        dropStandby("the second pipeline missed three cues in a row");
    }
    return false;
}

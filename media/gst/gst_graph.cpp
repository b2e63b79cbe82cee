#include "media/gst/gst_graph.h"
#include "media/media_log.h"

#include "media/gst/video_sink.h"

#include <gst/pbutils/missing-plugins.h>
#include <gst/video/videooverlay.h>

#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <utility>

namespace {

// A saved graph is a line or two of pipeline text; anything far larger is not one.
constexpr qint64 MaxGraphFileSize = 1 << 20;

QString elementPath(GstObject* object) {
    if (object == nullptr) {
        return QStringLiteral("?");
    }
    gchar* path = gst_object_get_path_string(object);
    QString result = QString::fromUtf8(path);
    g_free(path);
    return result;
}

}  // namespace

GstGraph::GstGraph(GstGraphOptions options)
    : options_(std::move(options)), plan_(options_.standbyRetry) {
    cueDeadline_.setSingleShot(true);
    QObject::connect(&cueDeadline_, &QTimer::timeout, &notifier_, [this] { finishCue(); });
}

GstGraph::~GstGraph() {
    // The bus handlers use the queue and the notifier: the pipelines go first.
    back_.reset();
    front_.reset();
}

bool GstGraph::render(const QString& fileName) {
    if (front_ != nullptr || fileName.isEmpty()) {
        return false;
    }
    fileName_ = fileName;
    // The sink asks for a window while prerolling, on a streaming thread: the native window
    // must exist before that. It is dropped again if the media turns out to have no video.
    window_ = std::make_unique<VideoWindow>();
    window_->onClosed = [this] { queueEvent(EC_USERABORT); };
    window_->onFullScreenLost = [this] { queueEvent(EC_FULLSCREEN_LOST); };
    front_ = buildPipeline(fileName);
    if (front_ == nullptr) {
        dropWindow();
        return false;
    }
    shown_ = front_.get();
    listen(*front_);

    if (!waitForPreroll()) {
        // Keep the object (the graph stays held) but give back the file and the threads.
        gst_element_set_state(front_->element(), GST_STATE_NULL);
        dropWindow();
        return false;
    }
    takeVideoProperties();
    bool failedMeanwhile = false;
    {
        std::lock_guard lock(mutex_);
        rendered_ = true;
        failedMeanwhile = failed_;
    }
    if (failedMeanwhile) {
        // Failed after the first frame came: the player hears of it once it holds the graph.
        queueEvent(EC_ERRORABORT);
    }
    front_->attachFrameLog(frameRate_, true);
    return true;
}

void GstGraph::listen(PlaybackPipeline& pipeline) {
    pipeline.listen(
        [this](PlaybackPipeline& from, GstMessage* message) { handleBusMessage(from, message); });
}

void GstGraph::dropWindow() {
    if (front_ != nullptr) {
        front_->withdrawWindow();
    }
    window_.reset();
}

std::unique_ptr<PlaybackPipeline> GstGraph::buildPipeline(const QString& fileName) const {
    if (fileName.endsWith(QStringLiteral(".grf"), Qt::CaseInsensitive)) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly) || file.size() > MaxGraphFileSize) {
            qCWarning(lcMedia) << "cannot read the graph file" << fileName;
            return nullptr;
        }
        const QByteArray description = file.readAll().trimmed();
        GError* error = nullptr;
        GstElement* element = gst_parse_launch(description.constData(), &error);
        if (error != nullptr) {
            qCWarning(lcMedia) << "graph file" << fileName << "does not parse:" << error->message;
            g_error_free(error);
            if (element != nullptr) {
                gst_object_unref(element);
            }
            return nullptr;
        }
        if (!GST_IS_PIPELINE(element)) {
            GstElement* pipeline = gst_pipeline_new(nullptr);
            gst_bin_add(GST_BIN(pipeline), element);
            element = pipeline;
        }
        return std::make_unique<PlaybackPipeline>(GST_ELEMENT(gst_object_ref_sink(element)),
                                                  nullptr, 0, window_->surface(0));
    }
    return makePlaybin(0);
}

std::unique_ptr<PlaybackPipeline> GstGraph::makePlaybin(int surface) const {
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(QFile::encodeName(fileName_).constData(), &error);
    if (uri == nullptr) {
        qCWarning(lcMedia) << "no URI for" << fileName_ << ":" << error->message;
        g_error_free(error);
        return nullptr;
    }
    GstElement* playbin =
        GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("playbin", nullptr)));
    GstElement* sink = options_.videoSink ? options_.videoSink() : makeDefaultVideoSink();
    GstElement* videoSink = GST_ELEMENT(gst_object_ref_sink(sink));
    g_object_set(playbin, "uri", uri, "video-sink", videoSink, nullptr);
    if (options_.audioSink) {
        g_object_set(playbin, "audio-sink", options_.audioSink(), nullptr);
    }
    g_free(uri);
    return std::make_unique<PlaybackPipeline>(playbin, videoSink, surface,
                                              window_->surface(surface));
}

bool GstGraph::waitForPreroll() {
    const GstStateChangeReturn change = gst_element_set_state(front_->element(), GST_STATE_PAUSED);
    if (change == GST_STATE_CHANGE_FAILURE) {
        qCWarning(lcMedia) << "cannot render" << fileName_;
        return false;
    }
    if (change != GST_STATE_CHANGE_ASYNC) {
        return true;
    }
    std::unique_lock lock(mutex_);
    const bool settled = changed_.wait_for(
        lock, options_.prerollTimeout, [this] { return prerolled_ || failed_ || missingDecoder_; });
    if (!settled) {
        qCWarning(lcMedia) << "rendering" << fileName_ << "timed out";
    }
    return settled && prerolled_ && !failed_ && !missingDecoder_;
}

void GstGraph::takeVideoProperties() {
    GstElement* pipeline = front_->element();
    GstElement* overlay = gst_bin_get_by_interface(GST_BIN(pipeline), GST_TYPE_VIDEO_OVERLAY);
    GstCaps* caps = nullptr;
    gint videoStreams = 0;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(pipeline), "n-video") != nullptr) {
        g_object_get(pipeline, "n-video", &videoStreams, nullptr);
        if (videoStreams > 0) {
            GstPad* pad = nullptr;
            g_signal_emit_by_name(pipeline, "get-video-pad", 0, &pad);
            if (pad != nullptr) {
                caps = gst_pad_get_current_caps(pad);
                gst_object_unref(pad);
            }
        }
    } else if (overlay != nullptr) {
        videoStreams = 1;
        GstPad* pad = gst_element_get_static_pad(overlay, "sink");
        if (pad != nullptr) {
            caps = gst_pad_get_current_caps(pad);
            gst_object_unref(pad);
        }
    }
    if (videoStreams == 0) {
        dropWindow();
    } else {
        QSize natural(320, 240);
        if (caps != nullptr) {
            const GstStructure* s = gst_caps_get_structure(caps, 0);
            gint width = 0, height = 0, parN = 1, parD = 1, rateN = 0, rateD = 1;
            gst_structure_get_int(s, "width", &width);
            gst_structure_get_int(s, "height", &height);
            gst_structure_get_fraction(s, "pixel-aspect-ratio", &parN, &parD);
            if (gst_structure_get_fraction(s, "framerate", &rateN, &rateD)) {
                frameRate_ = FrameRate{rateN, rateD};
            }
            if (width > 0 && height > 0 && parN > 0 && parD > 0) {
                natural = QSize(static_cast<int>(std::int64_t{width} * parN / parD), height);
            }
        }
        window_->setNaturalSize(natural);
        window_->attach(front_->surface(), overlay, front_->videoSink());
    }
    if (caps != nullptr) {
        gst_caps_unref(caps);
    }
    if (overlay != nullptr) {
        gst_object_unref(overlay);
    }
    front_->findDisplaySinks();

    gint64 duration = -1;
    if (gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration)) {
        durationNs_ = duration;
    }
}

void GstGraph::handleBusMessage(PlaybackPipeline& from, GstMessage* message) {
    const bool shown = &from == shown_.load();
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ASYNC_DONE: {
            if (shown) {
                std::lock_guard lock(mutex_);
                prerolled_ = true;
                changed_.notify_all();
            }
            // During a swap the old pipeline's pause may still be taken for the shown one's.
            wakeStandby();
            break;
        }
        case GST_MESSAGE_EOS:
            if (shown) {
                queueEvent(EC_COMPLETE, static_cast<std::intptr_t>(from.rangeEnded(message)));
            }
            break;
        case GST_MESSAGE_ERROR: {
            if (!shown) {
                standbyFailed(message);
                break;
            }
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            qCWarning(lcMedia).noquote()
                << "playing" << fileName_ << "failed in" << elementPath(GST_MESSAGE_SRC(message))
                << ":" << error->message << (debug != nullptr ? debug : "");
            g_error_free(error);
            g_free(debug);
            bool report = false;
            {
                std::lock_guard lock(mutex_);
                // Before rendering ends the failure is render's result; after it, the player's
                // to handle, once: the pipeline plays no more, whatever follows.
                report = rendered_ && !failed_;
                failed_ = true;
                changed_.notify_all();
            }
            if (report) {
                queueEvent(EC_ERRORABORT);
            }
            break;
        }
        case GST_MESSAGE_WARNING: {
            if (!shown) {
                break;
            }
            GError* error = nullptr;
            gst_message_parse_warning(message, &error, nullptr);
            qCInfo(lcMedia).noquote()
                << "warning while playing" << fileName_ << "from"
                << elementPath(GST_MESSAGE_SRC(message)) << ":" << error->message;
            g_error_free(error);
            break;
        }
        case GST_MESSAGE_ELEMENT:
            if (shown && gst_is_missing_plugin_message(message)) {
                gchar* what = gst_missing_plugin_message_get_description(message);
                qCWarning(lcMedia)
                    << "cannot decode a stream of" << fileName_ << ": missing" << what;
                g_free(what);
                std::lock_guard lock(mutex_);
                missingDecoder_ = true;
                changed_.notify_all();
            }
            break;
        default:
            break;
    }
}

bool GstGraph::setFrameFormat() {
    frameFormat_ = frameRate_.known();
    return frameFormat_;
}

std::int64_t GstGraph::unitsToSeekNs(std::int64_t units) const {
    return frameFormat_ ? stream_time::seekTarget(units, frameRate_)
                        : stream_time::fromHundredNs(units);
}

std::int64_t GstGraph::unitsToStopNs(std::int64_t units) const {
    return frameFormat_ ? stream_time::stopTarget(units, frameRate_)
                        : stream_time::fromHundredNs(units);
}

std::int64_t GstGraph::nsToUnits(std::int64_t ns) const {
    return frameFormat_ ? stream_time::frameAt(ns, frameRate_) : ns / 100;
}

bool GstGraph::duration(std::int64_t& units) const {
    if (durationNs_ < 0) {
        units = 0;
        return false;
    }
    units = frameFormat_ ? stream_time::framesIn(durationNs_, frameRate_) : durationNs_ / 100;
    return true;
}

std::int64_t GstGraph::currentPosition() {
    if (const std::optional<SeekRange>& cue = plan_.heldCue()) {
        return nsToUnits(cue->startNs);
    }
    gint64 position = 0;
    if (front_ != nullptr &&
        gst_element_query_position(front_->element(), GST_FORMAT_TIME, &position)) {
        lastPositionNs_ = position;
    }
    return nsToUnits(lastPositionNs_);
}

void GstGraph::setPositions(std::int64_t current, std::int64_t stop) {
    if (front_ == nullptr) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        currentRange_ = ++rangeSerial_;
    }
    if (plan_.heldCue()) {
        // A newer cue supersedes the one still waiting.
        cueDeadline_.stop();
        plan_.supersedeCue();
    }
    const SeekRange range = seekRangeOf(current, stop);
    if (back_ != nullptr && plan_.prepares(range)) {
        plan_.holdCue(range);
        heldState_.reset();
        heldBaseTime_.reset();
        cueDeadline_.start(options_.standbyWait);
        finishCue();
        return;
    }
    // Any other cue seeks; the standby prepares what the controller names next.
    plan_.clearNext();
    seekTo(range);
}

void GstGraph::seekTo(const SeekRange& range) {
    seekSinceRun_ = true;
    if (!seekInThisTurn_) {
        seekInThisTurn_ = true;
        QMetaObject::invokeMethod(
            &notifier_, [this] { seekInThisTurn_ = false; }, Qt::QueuedConnection);
    }
    seek(range);
}

SeekRange GstGraph::seekRangeOf(std::int64_t current, std::int64_t stop) const {
    const std::int64_t startNs = unitsToSeekNs(current);
    std::int64_t end = 0;
    const bool toEnd = !duration(end) || stop >= end;
    return SeekRange{startNs, toEnd ? -1 : std::max(unitsToStopNs(stop), startNs)};
}

void GstGraph::seek(const SeekRange& range) {
    lastPositionNs_ = range.startNs;
    seekRange_ = range;
    front_->setShowPrerollFrame(true);
    if (!front_->seek(range, rangeSerial_)) {
        qCWarning(lcMedia) << "seek to" << range.startNs << "ns failed in" << fileName_;
    }
}

void GstGraph::setState(GstState state) {
    changeState(state, std::nullopt);
}

bool GstGraph::runAt(std::int64_t clockTimeNs) {
    const std::optional<SeekRange>& cue = plan_.heldCue();
    if (front_ == nullptr || options_.clock == nullptr || runAfterSwap_ ||
        (!cue && front_->running())) {
        return false;
    }
    // The pipeline holds its frame at the running time it paused at, 0 after a seek (a cue
    // still waiting for the standby is one); the next frame comes at its distance from the
    // position held.
    const GstClockTime pausedAt = gst_element_get_start_time(front_->element());
    const std::int64_t heldRunningTime = !cue && !seekSinceRun_ && GST_CLOCK_TIME_IS_VALID(pausedAt)
                                             ? static_cast<std::int64_t>(pausedAt)
                                             : 0;
    std::int64_t nextRunningTime = heldRunningTime;
    if (frameFormat_) {
        if (heldRunningTime != 0) {
            currentPosition();
        }
        const std::int64_t held = cue                    ? cue->startNs
                                  : heldRunningTime == 0 ? seekRange_.startNs
                                                         : lastPositionNs_;
        const std::int64_t next = stream_time::frameAt(held, frameRate_) + 1;
        nextRunningTime += stream_time::frameStart(next, frameRate_) - held;
    }
    const std::int64_t base = clockTimeNs > nextRunningTime ? clockTimeNs - nextRunningTime : 0;
    changeState(GST_STATE_PLAYING, static_cast<GstClockTime>(base));
    return true;
}

void GstGraph::changeState(GstState state, std::optional<GstClockTime> baseTime) {
    if (front_ == nullptr) {
        return;
    }
    if (window_ != nullptr && !windowShown_) {
        windowShown_ = true;
        window_->show();
    }
    runAfterSwap_ = false;
    if (plan_.heldCue()) {
        // The cued frame is not on screen yet: the cue starts it once it is. Until then the
        // range cued away from holds.
        heldState_ = state;
        heldBaseTime_ = baseTime;
        if (front_->running()) {
            front_->setShowPrerollFrame(false);
            front_->setState(GST_STATE_PAUSED);
        }
        return;
    }
    const bool wasRunning = front_->running();
    if (state == GST_STATE_PLAYING) {
        seekSinceRun_ = false;
    } else if (wasRunning) {
        // A running sink prerolls on the frame after the one on screen and would show it: the
        // picture would step ahead of the position. Hold the frame on screen instead.
        front_->setShowPrerollFrame(false);
    }
    if (front_->setState(state, options_.clock.get(), baseTime) == GST_STATE_CHANGE_FAILURE) {
        qCWarning(lcMedia) << "state change failed in" << fileName_;
    }
    if (state == GST_STATE_PAUSED && wasRunning && seekSinceRun_ && frameFormat_ &&
        (seekInThisTurn_ || currentPosition() == nsToUnits(seekRange_.startNs))) {
        // Paused right after a seek while running (the cue after a completed range): the
        // sought frame may not be on screen yet, or already be followed by its successor in
        // preroll. Seeking again while paused shows exactly that frame, as a paused cue does.
        seek(seekRange_);
    }
}

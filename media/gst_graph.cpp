#include "media/gst_graph.h"

#include "media/video_sink.h"

#include <gst/pbutils/missing-plugins.h>
#include <gst/video/videooverlay.h>

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcGraph, "framelock.media", QtWarningMsg)

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

GstGraph::GstGraph(GstGraphOptions options) : options_(std::move(options)) {}

GstGraph::~GstGraph() {
    dropStandby(nullptr);
    if (pipeline_ != nullptr) {
        // NULL joins the streaming threads, so no bus message can arrive after this.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(pipeline_);
    }
    if (videoSink_ != nullptr) {
        gst_object_unref(videoSink_);
    }
    for (GstElement* sink : displaySinks_) {
        gst_object_unref(sink);
    }
}

bool GstGraph::render(const QString& fileName) {
    if (pipeline_ != nullptr || fileName.isEmpty()) {
        return false;
    }
    fileName_ = fileName;
    // The sink asks for a window while prerolling, on a streaming thread: the native window
    // must exist before that. It is dropped again if the media turns out to have no video.
    window_ = std::make_unique<VideoWindow>();
    window_->onClosed = [this] { queueEvent(EC_USERABORT); };
    window_->onFullScreenLost = [this] { queueEvent(EC_FULLSCREEN_LOST); };
    windowId_ = window_->winId();
    if (!buildPipeline(fileName)) {
        dropWindow();
        return false;
    }
    tag_ = std::make_unique<BusTag>(BusTag{this, pipeline_, &windowId_});
    shownPipeline_ = pipeline_;
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, &GstGraph::onBusMessage, tag_.get(), nullptr);
    gst_object_unref(bus);

    if (!waitForPreroll()) {
        // Keep the object (the graph stays held) but give back the file and the threads.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
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
    frameProbe_ = SinkFrameLog::attach(pipeline_, videoSink_, frameRate_);
    return true;
}

void GstGraph::dropWindow() {
    windowId_ = 0;
    window_.reset();
}

bool GstGraph::buildPipeline(const QString& fileName) {
    if (fileName.endsWith(QStringLiteral(".grf"), Qt::CaseInsensitive)) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly) || file.size() > MaxGraphFileSize) {
            qCWarning(lcGraph) << "cannot read the graph file" << fileName;
            return false;
        }
        const QByteArray description = file.readAll().trimmed();
        GError* error = nullptr;
        GstElement* element = gst_parse_launch(description.constData(), &error);
        if (error != nullptr) {
            qCWarning(lcGraph) << "graph file" << fileName << "does not parse:" << error->message;
            g_error_free(error);
            if (element != nullptr) {
                gst_object_unref(element);
            }
            return false;
        }
        if (!GST_IS_PIPELINE(element)) {
            GstElement* pipeline = gst_pipeline_new(nullptr);
            gst_bin_add(GST_BIN(pipeline), element);
            element = pipeline;
        }
        pipeline_ = GST_ELEMENT(gst_object_ref_sink(element));
        return true;
    }
    pipeline_ = makePlaybin(videoSink_);
    return pipeline_ != nullptr;
}

GstElement* GstGraph::makePlaybin(GstElement*& videoSink) const {
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(QFile::encodeName(fileName_).constData(), &error);
    if (uri == nullptr) {
        qCWarning(lcGraph) << "no URI for" << fileName_ << ":" << error->message;
        g_error_free(error);
        return nullptr;
    }
    GstElement* playbin =
        GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("playbin", nullptr)));
    GstElement* sink = options_.videoSink ? options_.videoSink() : makeDefaultVideoSink();
    videoSink = GST_ELEMENT(gst_object_ref_sink(sink));
    g_object_set(playbin, "uri", uri, "video-sink", videoSink, nullptr);
    if (options_.audioSink) {
        g_object_set(playbin, "audio-sink", options_.audioSink(), nullptr);
    }
    g_free(uri);
    return playbin;
}

bool GstGraph::waitForPreroll() {
    const GstStateChangeReturn change = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    if (change == GST_STATE_CHANGE_FAILURE) {
        qCWarning(lcGraph) << "cannot render" << fileName_;
        return false;
    }
    if (change != GST_STATE_CHANGE_ASYNC) {
        return true;
    }
    std::unique_lock lock(mutex_);
    const bool settled = changed_.wait_for(
        lock, options_.prerollTimeout, [this] { return prerolled_ || failed_ || missingDecoder_; });
    if (!settled) {
        qCWarning(lcGraph) << "rendering" << fileName_ << "timed out";
    }
    return settled && prerolled_ && !failed_ && !missingDecoder_;
}

void GstGraph::takeVideoProperties() {
    GstElement* overlay = gst_bin_get_by_interface(GST_BIN(pipeline_), GST_TYPE_VIDEO_OVERLAY);
    GstCaps* caps = nullptr;
    gint videoStreams = 0;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(pipeline_), "n-video") != nullptr) {
        g_object_get(pipeline_, "n-video", &videoStreams, nullptr);
        if (videoStreams > 0) {
            GstPad* pad = nullptr;
            g_signal_emit_by_name(pipeline_, "get-video-pad", 0, &pad);
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
        window_->attach(overlay, videoSink_);
    }
    if (caps != nullptr) {
        gst_caps_unref(caps);
    }
    if (overlay != nullptr) {
        gst_object_unref(overlay);
    }
    displaySinks_ = findDisplaySinks(pipeline_);

    gint64 duration = -1;
    if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &duration)) {
        durationNs_ = duration;
    }
}

std::vector<GstElement*> GstGraph::findDisplaySinks(GstElement* pipeline) {
    std::vector<GstElement*> sinks;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "show-preroll-frame")) {
            sinks.push_back(GST_ELEMENT(gst_object_ref(element)));
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return sinks;
}

GstBusSyncReply GstGraph::onBusMessage(GstBus*, GstMessage* message, gpointer tag) {
    const auto* busTag = static_cast<const BusTag*>(tag);
    busTag->graph->handleBusMessage(message, *busTag);
    // Everything is handled here; nobody pops the bus, so nothing may pile up on it. A dropped
    // message is the handler's to free: kept, each would hold its source element, and so the
    // whole pipeline with its threads' descriptors, long after the graph is gone.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void GstGraph::handleBusMessage(GstMessage* message, const BusTag& tag) {
    if (gst_is_video_overlay_prepare_window_handle_message(message)) {
        // Each pipeline draws into its own surface, bound once: a sink given another window
        // later would renegotiate on every play.
        const WId id = *tag.window;
        if (id != 0) {
            GstVideoOverlay* overlay = GST_VIDEO_OVERLAY(GST_MESSAGE_SRC(message));
            gst_video_overlay_set_window_handle(overlay, id);
            // Mouse buttons go to one X client only: they are ours, for double clicks.
            gst_video_overlay_handle_events(overlay, FALSE);
        }
        return;
    }
    if (tag.pipeline != shownPipeline_.load()) {
        handleStandbyMessage(message);
        return;
    }
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ASYNC_DONE: {
            {
                std::lock_guard lock(mutex_);
                prerolled_ = true;
                changed_.notify_all();
            }
            // During a swap the old pipeline's pause may still be taken for the shown one's.
            wakeStandby();
            break;
        }
        case GST_MESSAGE_EOS:
            queueEvent(EC_COMPLETE);
            break;
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            qCWarning(lcGraph).noquote()
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
            GError* error = nullptr;
            gst_message_parse_warning(message, &error, nullptr);
            qCInfo(lcGraph).noquote()
                << "warning while playing" << fileName_ << "from"
                << elementPath(GST_MESSAGE_SRC(message)) << ":" << error->message;
            g_error_free(error);
            break;
        }
        case GST_MESSAGE_ELEMENT:
            if (gst_is_missing_plugin_message(message)) {
                gchar* what = gst_missing_plugin_message_get_description(message);
                qCWarning(lcGraph)
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

void GstGraph::queueEvent(long code) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(MediaEventRecord{code, 0, 0});
        changed_.notify_all();
    }
    // Hop to the UI thread; a notification still pending when the graph goes is dropped with
    // notifier_.
    QMetaObject::invokeMethod(
        &notifier_,
        [this] {
            if (notifyWindow_ != nullptr) {
                QCoreApplication::postEvent(notifyWindow_, new QEvent(notifyMessage_));
            }
        },
        Qt::QueuedConnection);
}

void GstGraph::setNotifyWindow(QObject* window, QEvent::Type message) {
    notifyWindow_ = window;
    notifyMessage_ = message;
}

bool GstGraph::takeEvent(MediaEventRecord& event, int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (timeoutMs > 0) {
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return !events_.empty(); });
    }
    if (events_.empty()) {
        return false;
    }
    event = events_.front();
    events_.pop_front();
    return true;
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
    gint64 position = 0;
    if (pipeline_ != nullptr && gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position)) {
        lastPositionNs_ = position;
    }
    return nsToUnits(lastPositionNs_);
}

void GstGraph::setPositions(std::int64_t current, std::int64_t stop) {
    if (pipeline_ == nullptr) {
        return;
    }
    {
        // A completion not yet taken belongs to the range this seek replaces.
        std::lock_guard lock(mutex_);
        std::erase_if(events_, [](const MediaEventRecord& e) { return e.code == EC_COMPLETE; });
    }
    const SeekRange range = seekRangeOf(current, stop);
    const bool prepared = standby_ != nullptr && nextRange_ == range;
    if (prepared && waitForStandby()) {
        nextRange_.reset();
        swapToStandby(range);
        return;
    }
    // Any other cue seeks; the standby prepares what the controller names next.
    nextRange_.reset();
    seekSinceRun_ = true;
    if (!seekInThisTurn_) {
        seekInThisTurn_ = true;
        QMetaObject::invokeMethod(
            &notifier_, [this] { seekInThisTurn_ = false; }, Qt::QueuedConnection);
    }
    seek(range.startNs, range.stopNs);
}

GstGraph::SeekRange GstGraph::seekRangeOf(std::int64_t current, std::int64_t stop) const {
    const std::int64_t startNs = unitsToSeekNs(current);
    std::int64_t end = 0;
    const bool toEnd = !duration(end) || stop >= end;
    return SeekRange{startNs, toEnd ? -1 : std::max(unitsToStopNs(stop), startNs)};
}

void GstGraph::seek(std::int64_t startNs, std::int64_t stopNs) {
    lastPositionNs_ = startNs;
    seekStartNs_ = startNs;
    seekStopNs_ = stopNs;
    setShowPrerollFrame(true);
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    // The stop is always set: a seek type of NONE would keep the stop of an earlier range.
    if (!gst_element_seek(pipeline_, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, startNs,
                          GST_SEEK_TYPE_SET, stopNs)) {
        qCWarning(lcGraph) << "seek to" << startNs << "ns failed in" << fileName_;
    }
}

void GstGraph::setShowPrerollFrame(bool show) {
    for (GstElement* sink : displaySinks_) {
        g_object_set(sink, "show-preroll-frame", show ? TRUE : FALSE, nullptr);
    }
}

void GstGraph::setState(GstState state) {
    changeState(state, std::nullopt);
}

bool GstGraph::runAt(std::int64_t clockTimeNs) {
    if (pipeline_ == nullptr || options_.clock == nullptr || runAfterSwap_ ||
        GST_STATE_TARGET(pipeline_) == GST_STATE_PLAYING) {
        return false;
    }
    // The pipeline holds its frame at the running time it paused at, 0 after a seek; the next
    // frame comes at its distance from the position held.
    const GstClockTime pausedAt = gst_element_get_start_time(pipeline_);
    const std::int64_t heldRunningTime = !seekSinceRun_ && GST_CLOCK_TIME_IS_VALID(pausedAt)
                                             ? static_cast<std::int64_t>(pausedAt)
                                             : 0;
    std::int64_t nextRunningTime = heldRunningTime;
    if (frameFormat_) {
        if (heldRunningTime != 0) {
            currentPosition();
        }
        const std::int64_t held = heldRunningTime == 0 ? seekStartNs_ : lastPositionNs_;
        const std::int64_t next = stream_time::frameAt(held, frameRate_) + 1;
        nextRunningTime += stream_time::frameStart(next, frameRate_) - held;
    }
    changeState(GST_STATE_PLAYING, static_cast<GstClockTime>(
                                       std::max<std::int64_t>(clockTimeNs - nextRunningTime, 0)));
    return true;
}

GstStateChangeReturn GstGraph::runPipeline(std::optional<GstClockTime> baseTime) {
    return options_.clock != nullptr ? options_.clock->run(pipeline_, baseTime)
                                     : gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

void GstGraph::changeState(GstState state, std::optional<GstClockTime> baseTime) {
    if (pipeline_ == nullptr) {
        return;
    }
    if (window_ != nullptr && !windowShown_) {
        windowShown_ = true;
        window_->show();
    }
    runAfterSwap_ = false;
    const bool wasRunning = GST_STATE_TARGET(pipeline_) == GST_STATE_PLAYING;
    if (state == GST_STATE_PLAYING) {
        seekSinceRun_ = false;
    } else if (wasRunning) {
        // A running sink prerolls on the frame after the one on screen and would show it: the
        // picture would step ahead of the position. Hold the frame on screen instead.
        setShowPrerollFrame(false);
    }
    if (frameProbe_ != nullptr) {
        frameProbe_->setRunning(state == GST_STATE_PLAYING);
    }
    const GstStateChangeReturn change = state == GST_STATE_PLAYING
                                            ? runPipeline(baseTime)
                                            : gst_element_set_state(pipeline_, state);
    if (change == GST_STATE_CHANGE_FAILURE) {
        qCWarning(lcGraph) << "state change failed in" << fileName_;
    }
    if (frameProbe_ != nullptr) {
        frameProbe_->announce();
    }
    if (state == GST_STATE_PAUSED && wasRunning && seekSinceRun_ && frameFormat_ &&
        (seekInThisTurn_ || currentPosition() == nsToUnits(seekStartNs_))) {
        // Paused right after a seek while running (the cue after a completed range): the
        // sought frame may not be on screen yet, or already be followed by its successor in
        // preroll. Seeking again while paused shows exactly that frame, as a paused cue does.
        seek(seekStartNs_, seekStopNs_);
    }
}

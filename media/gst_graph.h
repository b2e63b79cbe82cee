#pragma once

#include "media/frame_probe.h"
#include "media/media_service.h"
#include "media/stream_time.h"
#include "media/video_window.h"

#include <gst/gst.h>

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// How new graphs are built. Tests and benchmarks inject sinks that read or time the frames;
// the program leaves both empty.
struct GstGraphOptions {
    // Each call returns a new floating element; an empty function means the default sink.
    std::function<GstElement*()> videoSink;
    std::function<GstElement*()> audioSink;
    // How long rendering waits for the first frame before it gives up.
    std::chrono::milliseconds prerollTimeout{20000};
    // How long a cue for the prepared range waits for the standby pipeline still preparing
    // it before it seeks instead.
    std::chrono::milliseconds standbyWait{1000};
};

// One filter graph: a GStreamer pipeline for one file, its video window and its event queue.
// A media file plays through playbin; a ".grf" file holds a pipeline description (the text
// gst-launch-1.0 takes) and plays as written, its video sink drawing into our window.
//
// Threads: every member function runs on the UI thread. Bus messages arrive on GStreamer's
// threads in the sync handler, which touches only the fields marked as shared below.
class GstGraph {
public:
    explicit GstGraph(GstGraphOptions options);
    ~GstGraph();
    GstGraph(const GstGraph&) = delete;
    GstGraph& operator=(const GstGraph&) = delete;

    // Builds the pipeline and prerolls it. True only when every stream decodes and the first
    // frame (or sound) is ready; a graph renders once.
    bool render(const QString& fileName);

    // The rendered pipeline (nullptr before render) and the video window (nullptr when the
    // media has no video).
    GstElement* pipeline() const { return pipeline_; }
    VideoWindow* videoWindow() const { return window_.get(); }

    void setNotifyWindow(QObject* window, QEvent::Type message);
    // Takes the oldest queued event, waiting up to timeoutMs for one (0: never waits).
    bool takeEvent(MediaEventRecord& event, int timeoutMs);

    // Positions are frames once setFrameFormat() succeeded (video with a known frame rate),
    // otherwise units of 100 ns.
    bool setFrameFormat();
    bool duration(std::int64_t& units) const;
    std::int64_t currentPosition();
    // Flushing accurate seek: `current` is shown, playback ends before `stop` with
    // EC_COMPLETE; a stop at or past the end plays to the end.
    void setPositions(std::int64_t current, std::int64_t stop);

    // Run (PLAYING) or hold (PAUSED). The video window appears on the first of them, as a
    // graph's window does once the graph is cued.
    void setState(GstState state);

    // The range setPositions() is expected to get next. A second pipeline of the same file,
    // drawing into a surface stacked in the video window, stands paused on its first frame;
    // setPositions() for exactly that range then swaps the pipelines instead of seeking. Any
    // other range seeks as before and drops the prepared one. Without video, for a saved
    // graph, when memory is short or when the second pipeline fails (an audio device that
    // opens once), the graph plays with one pipeline and says why.
    void setNextRange(std::int64_t current, std::int64_t stop);
    void clearNextRange();
    // The pipeline shown, 0 or 1: which of the two the last swap left in front.
    int shownPipeline() const { return shownSecond_ ? 1 : 0; }
    // The standby pipeline (nullptr while there is none) and whether it holds the first frame
    // of the next range, for tests and benchmarks.
    GstElement* standbyPipeline() const { return standby_; }
    bool nextRangeReady();
    // The video stream's rate as rendered; unknown for audio only.
    FrameRate frameRate() const { return frameRate_; }

private:
    // Which pipeline a bus handler serves, and the window its video sink draws into.
    struct BusTag {
        GstGraph* graph = nullptr;
        GstElement* pipeline = nullptr;
        const std::atomic<WId>* window = nullptr;
    };
    struct SeekRange {
        std::int64_t startNs = 0;
        std::int64_t stopNs = -1;
        bool operator==(const SeekRange&) const = default;
    };

    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer tag);
    void handleBusMessage(GstMessage* message, const BusTag& tag);
    void handleStandbyMessage(GstMessage* message);
    SeekRange seekRangeOf(std::int64_t current, std::int64_t stop) const;
    // A playbin for the file with the configured sinks; its video sink, referenced, goes to
    // videoSink.
    GstElement* makePlaybin(GstElement*& videoSink) const;
    // The pipeline's sinks that draw a preroll frame, each referenced.
    static std::vector<GstElement*> findDisplaySinks(GstElement* pipeline);
    bool createStandby();
    void dropStandby(const char* why);
    void advanceStandby();
    bool standbyReady();
    bool waitForStandby();
    bool standbyMissed(const char* what);
    void wakeStandby();
    void swapToStandby(const SeekRange& range);
    void queueEvent(long code);
    bool buildPipeline(const QString& fileName);
    bool waitForPreroll();
    void takeVideoProperties();
    void dropWindow();
    void setShowPrerollFrame(bool show);
    void seek(std::int64_t startNs, std::int64_t stopNs);
    std::int64_t unitsToSeekNs(std::int64_t units) const;
    std::int64_t unitsToStopNs(std::int64_t units) const;
    std::int64_t nsToUnits(std::int64_t ns) const;

    const GstGraphOptions options_;
    QString fileName_;                 // set before the bus handler is installed, then constant
    GstElement* pipeline_ = nullptr;   // owned; UI thread
    GstElement* videoSink_ = nullptr;  // playbin's video sink, referenced; UI thread
    std::vector<GstElement*> displaySinks_;  // sinks that draw a preroll frame, referenced; UI
    bool seekSinceRun_ = false;              // UI thread
    // A seek was made in the event-loop turn still running (UI thread): a pause in the same turn
    // is a cue at the sought frame, however far a loaded machine let the graph play meanwhile.
    bool seekInThisTurn_ = false;
    std::unique_ptr<VideoWindow> window_;  // UI thread
    std::atomic<WId> windowId_{0};         // the window's X id for the bus handler; 0: none
    bool windowShown_ = false;
    // The second pipeline and its sinks (UI thread), its bus tags and whether it shows.
    GstElement* standby_ = nullptr;
    GstElement* standbySink_ = nullptr;
    std::vector<GstElement*> standbyDisplaySinks_;
    std::unique_ptr<BusTag> tag_;
    std::unique_ptr<BusTag> standbyTag_;
    std::atomic<WId> standbyWindowId_{0};
    std::atomic<GstElement*> shownPipeline_{nullptr};  // read by the bus handlers
    bool shownSecond_ = false;
    bool standbyRefused_ = false;             // said why once; the graph keeps one pipeline
    std::optional<SeekRange> nextRange_;      // the range to prepare
    std::optional<SeekRange> standbySought_;  // the range of its latest seek
    bool standbyAttached_ = false;
    int standbyMisses_ = 0;  // cues in a row at which the standby was not ready
    // Starts the pipeline swapped in while running in the next event-loop turn, unless the cue
    // pauses it in this one (a running pipeline paused at once might step a frame).
    bool runAfterSwap_ = false;
    FrameRate frameRate_;  // of the video stream; unknown for audio only
    bool frameFormat_ = false;
    std::int64_t durationNs_ = -1;
    std::int64_t lastPositionNs_ = 0;
    std::int64_t seekStartNs_ = 0;  // the latest seek's range, stop -1 for the end
    std::int64_t seekStopNs_ = -1;
    std::unique_ptr<SinkFrameLog> frameProbe_;         // only while the event log is on; UI thread
    std::unique_ptr<SinkFrameLog> standbyFrameProbe_;  // the standby's, likewise

    QObject notifier_;                // UI thread: context of notifications from the bus
    QPointer<QObject> notifyWindow_;  // UI thread
    QEvent::Type notifyMessage_ = QEvent::None;

    // Shared with the bus handler, guarded by mutex_.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<MediaEventRecord> events_;
    bool prerolled_ = false;
    bool rendered_ = false;
    bool failed_ = false;
    bool missingDecoder_ = false;
    bool standbyFailed_ = false;
};

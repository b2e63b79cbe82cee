#pragma once

#include "media/gst/playback_pipeline.h"
#include "media/gst/show_clock.h"
#include "media/gst/video_window.h"
#include "media/media_service.h"
#include "media/standby_plan.h"
#include "media/stream_time.h"

#include <gst/gst.h>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
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
    // How long after a standby was given up (it kept missing cues, or memory was short) a
    // second pipeline is tried again.
    std::chrono::milliseconds standbyRetry{std::chrono::minutes(1)};
    // The clock both pipelines run on; none: each pipeline chooses its own.
    std::shared_ptr<ShowClock> clock;
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

    // The rendered pipeline shown (nullptr before render) and the video window (nullptr when
    // the media has no video).
    GstElement* pipeline() const { return front_ != nullptr ? front_->element() : nullptr; }
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
    // EC_COMPLETE; a stop at or past the end plays to the end. An EC_COMPLETE is only ever
    // taken for the range set last: one of an earlier range still on its way is dropped. A
    // range that ends far before its stop (the file changed under it) is reported as
    // EC_ERRORABORT instead.
    //
    // The range prepared by the standby is cued by swapping to it; while the standby still
    // prepares it the cue waits without blocking (up to standbyWait, then it seeks), the
    // position reads as the cued frame, and a run asked for meanwhile starts the cued frame.
    void setPositions(std::int64_t current, std::int64_t stop);

    // Run (PLAYING) or hold (PAUSED). The video window appears on the first of them, as a
    // graph's window does once the graph is cued.
    void setState(GstState state);
    // Runs so that the frame after the one cued appears at `clockTimeNs` on the show clock.
    // False, with nothing done, when it already runs or has no show clock.
    bool runAt(std::int64_t clockTimeNs);
    FrameRate frameRate() const { return frameRate_; }
    // The stream time of the frame the shown pipeline's sink holds or showed last.
    std::optional<std::int64_t> shownStreamTime() const {
        return front_ != nullptr ? front_->heldStreamTime() : std::nullopt;
    }

    // The range setPositions() is expected to get next. A second pipeline of the same file,
    // drawing into a surface stacked in the video window, stands paused on its first frame;
    // setPositions() for exactly that range then swaps the pipelines instead of seeking. Any
    // other range seeks as before and drops the prepared one. Without video, for a saved
    // graph, when memory is short or when the second pipeline fails (an audio device that
    // opens once), the graph plays with one pipeline and says why.
    void setNextRange(std::int64_t current, std::int64_t stop);
    void clearNextRange();
    // The pipeline shown, 0 or 1: which of the two the last swap left in front.
    int shownPipeline() const { return front_ != nullptr ? front_->surface() : 0; }
    // The standby pipeline (nullptr while there is none) and whether it holds the first frame
    // of the next range, for tests and benchmarks.
    GstElement* standbyPipeline() const { return back_ != nullptr ? back_->element() : nullptr; }
    bool nextRangeReady();
    // Whether a cue waits for the standby.
    bool cuePending() const { return plan_.heldCue().has_value(); }

private:
    void handleBusMessage(PlaybackPipeline& from, GstMessage* message);
    void standbyFailed(GstMessage* message);
    SeekRange seekRangeOf(std::int64_t current, std::int64_t stop) const;
    // A playbin for the file with the configured sinks, drawing into the given surface.
    std::unique_ptr<PlaybackPipeline> makePlaybin(int surface) const;
    std::unique_ptr<PlaybackPipeline> buildPipeline(const QString& fileName) const;
    void listen(PlaybackPipeline& pipeline);
    bool createStandby();
    void dropStandby(const char* why);
    void refuseStandby(const char* why);
    void advanceStandby();
    bool standbyReady();
    void finishCue();
    void seekTo(const SeekRange& range);
    bool endedEarly();
    void standbyMissed(const char* what);
    void wakeStandby();
    void swapToStandby(const SeekRange& range);
    void queueEvent(long code, std::intptr_t range = 0);
    bool waitForPreroll();
    void takeVideoProperties();
    void dropWindow();
    void seek(const SeekRange& range);
    void changeState(GstState state, std::optional<GstClockTime> baseTime);
    GstStateChangeReturn runPipeline(std::optional<GstClockTime> baseTime);
    std::int64_t unitsToSeekNs(std::int64_t units) const;
    std::int64_t unitsToStopNs(std::int64_t units) const;
    std::int64_t nsToUnits(std::int64_t ns) const;

    const GstGraphOptions options_;
    QString fileName_;           // set before the bus handler is installed, then constant
    bool seekSinceRun_ = false;  // UI thread
    // A seek was made in the event-loop turn still running (UI thread): a pause in the same turn
    // is a cue at the sought frame, however far a loaded machine let the graph play meanwhile.
    bool seekInThisTurn_ = false;
    std::unique_ptr<VideoWindow> window_;  // UI thread
    bool windowShown_ = false;
    // The pipeline shown and the one standing by (nullptr while there is none), UI thread; a
    // cue swaps them. The bus handlers tell them apart by shown_.
    std::unique_ptr<PlaybackPipeline> front_;
    std::unique_ptr<PlaybackPipeline> back_;
    std::atomic<const PlaybackPipeline*> shown_{nullptr};
    StandbyPlan plan_;  // UI thread
    // Ends the wait of a held cue; UI thread.
    QTimer cueDeadline_;
    // The state asked for while a cue was held; UI thread.
    std::optional<GstState> heldState_;
    // When a run asked for while the cue waited is to show the frame after the cued one; none:
    // at once.
    std::optional<GstClockTime> heldBaseTime_;
    // Names each range set, for its completion; UI thread.
    std::uint64_t rangeSerial_ = 0;
    bool standbyAttached_ = false;
    // Starts the pipeline swapped in while running in the next event-loop turn, unless the cue
    // pauses it in this one (a running pipeline paused at once might step a frame).
    bool runAfterSwap_ = false;
    FrameRate frameRate_;  // of the video stream; unknown for audio only
    bool frameFormat_ = false;
    std::int64_t durationNs_ = -1;
    std::int64_t lastPositionNs_ = 0;
    SeekRange seekRange_;  // the latest seek's

    QObject notifier_;                // UI thread: context of notifications from the bus
    QPointer<QObject> notifyWindow_;  // UI thread
    QEvent::Type notifyMessage_ = QEvent::None;

    // Shared with the bus handler, guarded by mutex_.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<MediaEventRecord> events_;
    std::uint64_t currentRange_ = 0;
    bool prerolled_ = false;
    bool rendered_ = false;
    bool failed_ = false;
    bool missingDecoder_ = false;
    bool standbyFailed_ = false;
};

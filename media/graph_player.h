#pragma once

#include "media/media_service.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

// Plays one media file through a MediaService, counting positions in frames. What happens to the
// media is told by signals, each once, on the user-interface thread where all operations run;
// the player asks its owner for nothing. The media service's operations stay inside.
class TGraphPlayer : public QObject {
    Q_OBJECT

public:
    static constexpr std::int32_t FrameUnitFrames = 1;
    // 100-ns units per frame when the media cannot count frames: 25 frames a second.
    static constexpr std::int32_t FrameUnitHundredNs = 400000;

    // The owner receives the media notification (it hands it to HandleMediaEvent) and becomes
    // the video window's message drain while it is hidden.
    TGraphPlayer(std::unique_ptr<MediaService> service, WindowHandle owner,
                 QObject* parent = nullptr);
    // Closes the media and gives up every reference still held (also after a failed render).
    ~TGraphPlayer() override;
    TGraphPlayer(const TGraphPlayer&) = delete;
    TGraphPlayer& operator=(const TGraphPlayer&) = delete;

    // The file the next open plays; a failed open forgets it.
    void setFileName(const QString& fileName) { fileName_ = fileName; }
    const QString& FileName() const { return fileName_; }
    // Appended to the video window's caption: the instance's name among several.
    void setCaptionSuffix(const QString& suffix) { captionSuffix_ = suffix; }
    // The owner's place on the screen: the video window opens directly left of it.
    void setOwnerPlace(QPoint place) { ownerPlace_ = place; }

    void OpenMedia();
    // The open file opened anew in its place (it changed on disk), cued where it was; a failure
    // is told as any failed open.
    void ReopenMedia();
    void CloseMedia();
    void PlayMedia();
    // As PlayMedia, timed so that the frame after the one cued appears at `sharedTimeNs` on the
    // shared clock. True when so timed; false when it ran at once, not being on that clock.
    bool PlayMediaAt(std::int64_t sharedTimeNs);
    void UseClock(const ClockSetup& setup) { service_->useClock(setup); }
    SharedClockState SharedClock() { return service_->sharedClock(); }
    void RenewClock() { service_->renewClock(); }
    // Nanoseconds per frame; 0 while no video with a known frame rate is open.
    std::int64_t FrameDurationNs() { return mediaOpen_ ? service_->frameDurationNs() : 0; }
    void StopMedia();
    void PauseMedia();
    // Current position := frame, stop position := end of the media (cancels a range).
    // The frame is not clamped: callers clamp to 0 .. DurationFrames() where they need to.
    void SeekToFrame(std::int64_t frame);
    // Plays startFrame .. stopFrame - 1 on the next run, then raises completion.
    void SetPlayRange(std::int64_t startFrame, std::int64_t stopFrame);
    // The range the controller expects to cue next (startFrame .. stopFrame - 1), or none: the
    // service may prepare it, so that cueing it takes no seek. Changes nothing that is played.
    void SetNextRange(std::int64_t startFrame, std::int64_t stopFrame);
    void ClearNextRange();
    // Only meaningful while MediaOpen().
    std::int64_t CurrentFrame();
    // The frame the running media started from: where it stood when PlayMedia or PlayMediaAt
    // ran it, however far it has played since (a run timed on the shared clock may be reported
    // long after it began). The current frame while it is not running.
    std::int64_t StartFrame();
    void SetControlWindowVisible(bool visible);
    void SetFullScreen(bool on);
    // Takes every queued media event and acts on it; never waits.
    void HandleMediaEvent();
    // How often a file that came back shorter after a failure is looked at (3000 ms).
    void setCutShortCheckMs(int ms) { cutShortCheck_.setInterval(ms); }

    // Gives up every reference still held, in the order seeking, video window, event, control,
    // builder. The owner calls it after CloseMedia when it closes.
    void ReleaseGraph();

    bool MediaOpen() const { return mediaOpen_; }
    std::int64_t DurationFrames() const { return durationFrames_; }
    std::int32_t FrameUnit() const { return frameUnit_; }
    bool HasVideoWindow() const { return hasVideoWindow_; }
    bool FullScreenActive() const { return fullScreenActive_; }
    // Last run rather than paused or stopped.
    bool Running() const { return running_; }
    // Running and not held at the end of its range: the picture should move.
    bool PictureShouldMove() const { return running_ && !rangeEnded_; }
    std::optional<std::int64_t> ShownPicture() const {
        return mediaOpen_ ? service_->shownPicture() : std::nullopt;
    }
    // What the open file declares; unknown or empty when nothing is open.
    FrameRate VideoFrameRate() const { return mediaOpen_ ? service_->frameRate() : FrameRate{}; }
    QSize VideoSize() const { return mediaOpen_ ? service_->videoSize() : QSize(); }
    WindowHandle SavedMessageDrain() const { return savedMessageDrain_; }

    static inline const QString VideoCaption = QStringLiteral("frameLock PRO Video");

signals:
    // An open made a graph (its file may still have failed): the show cues its start.
    void graphBuilt();
    // The file could not be opened; it is forgotten, so that a Play does not try it again.
    void openFailed(const QString& fileName);
    // A run is about to begin.
    void aboutToPlay();
    // The range set last has played to its stop (or failed while playing).
    void rangeComplete();
    // The owner is to be shown (full screen left or lost) or hidden (full screen taken).
    void controlWindowWanted(bool visible);

private:
    // Steps of OpenMedia up to the render; true when a graph was created.
    bool openGraph();
    bool RenderMediaFile();
    void setPositions(std::int64_t current, std::int64_t stop);
    void noteRunStart();
    // A graph that failed while open (a sink gone, a decode error) is replaced by a new one on
    // the same file, cued where the old one was; a range that was playing counts as complete.
    void recoverFromError();
    // The same file opened anew in place of the graph, cued where it was; whether the range
    // that was running is over for the show.
    void reopen(bool completeRunningRange);
    // Where the file reopened after a failure is shorter than it was (cut to a stub that still
    // opens, a copy under way), it is watched and opened again once it changed, at a moment the
    // picture stands still, so that the whole file plays again from the next cue.
    void watchIfCutShort(std::int64_t framesBefore);
    void CutShortCheckTimer();
    bool holds(MediaRef ref) const { return held_[static_cast<std::size_t>(ref)]; }
    void acquire(MediaRef ref);
    void release(MediaRef ref);

    std::unique_ptr<MediaService> service_;
    WindowHandle owner_ = nullptr;
    QString fileName_;
    QString captionSuffix_;
    QPoint ownerPlace_;
    std::array<bool, 5> held_{};

    bool mediaOpen_ = false;
    std::int64_t durationFrames_ = 1;
    std::int32_t frameUnit_ = FrameUnitFrames;
    bool hasVideoWindow_ = false;
    bool fullScreenActive_ = false;
    WindowHandle savedMessageDrain_ = nullptr;

    // An open is in progress: its error box runs the event loop, and a Play arriving meanwhile
    // must neither render again nor open another box.
    bool opening_ = false;
    // Whether the graph was last run rather than paused or stopped, the last positions set in
    // media time, and how many times positions were set.
    bool running_ = false;
    // The range set last has played to its stop; the last frame stays until the next one.
    bool rangeEnded_ = false;
    std::optional<std::pair<std::int64_t, std::int64_t>> cuedRange_;
    std::uint64_t positionsSet_ = 0;
    // Where the current run started; none since the media was paused, stopped or placed anew.
    std::optional<std::int64_t> runStart_;
    // The file that came back shorter after a failure: its name, the frames it had before and
    // how it was (size and times) when reopened.
    struct CutShortFile {
        QString name;
        std::int64_t wholeFrames = 0;
        QString stamp;
    };
    std::optional<CutShortFile> cutShort_;
    QTimer cutShortCheck_;
};

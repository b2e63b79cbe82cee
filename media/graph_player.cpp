#include "media/graph_player.h"

#include "media/file_stamp.h"
#include "media/frame_time.h"
#include "media/media_log.h"

#include <QLoggingCategory>
#include <QScopedValueRollback>
#include <algorithm>
#include <utility>

namespace {

constexpr int kCutShortCheckMs = 3000;

}  // namespace

TGraphPlayer::TGraphPlayer(std::unique_ptr<MediaService> service, WindowHandle owner,
                           QObject* parent)
    : QObject(parent), service_(std::move(service)), owner_(owner) {
    cutShortCheck_.setInterval(kCutShortCheckMs);
    connect(&cutShortCheck_, &QTimer::timeout, this, [this] { CutShortCheckTimer(); });
}

TGraphPlayer::~TGraphPlayer() {
    CloseMedia();
    ReleaseGraph();
}

void TGraphPlayer::acquire(MediaRef ref) {
    release(ref);
    if (ref == MediaRef::GraphBuilder) {
        held_[static_cast<std::size_t>(ref)] = service_->createGraph();
        return;
    }
    service_->query(ref);
    held_[static_cast<std::size_t>(ref)] = true;
}

void TGraphPlayer::release(MediaRef ref) {
    if (holds(ref)) {
        service_->release(ref);
        held_[static_cast<std::size_t>(ref)] = false;
    }
}

void TGraphPlayer::ReleaseGraph() {
    for (MediaRef ref : {MediaRef::MediaSeeking, MediaRef::VideoWindow, MediaRef::MediaEvent,
                         MediaRef::MediaControl, MediaRef::GraphBuilder}) {
        release(ref);
    }
}

void TGraphPlayer::OpenMedia() {
    if (opening_) {
        return;
    }
    const QScopedValueRollback guard(opening_, true);
    if (openGraph()) {
        emit graphBuilt();
    }
}

bool TGraphPlayer::openGraph() {
    if (fileName_.isEmpty() || mediaOpen_) {
        return false;
    }
    acquire(MediaRef::GraphBuilder);
    if (!holds(MediaRef::GraphBuilder)) {
        return false;
    }
    for (MediaRef ref : {MediaRef::MediaControl, MediaRef::MediaEvent, MediaRef::VideoWindow,
                         MediaRef::MediaSeeking}) {
        acquire(ref);
    }
    mediaOpen_ = RenderMediaFile();
    running_ = false;
    cuedRange_.reset();
    if (mediaOpen_) {
        // A show may run from now on, and it must not run on blanked screens.
        service_->keepDisplayAwake(true);
    }
    return true;
}

bool TGraphPlayer::RenderMediaFile() {
    // The name goes to the service whole: paths on this platform are often longer than the
    // hundred characters an older buffer allowed, and the service reports names it cannot open.
    const QString fileName = fileName_;
    if (!service_->renderFile(fileName)) {
        qCInfo(lcMedia).noquote() << "open failed" << fileName;
        // Whoever is told may show a modal box, which runs the event loop: a Play arriving
        // meanwhile must find no file to try.
        fileName_.clear();
        emit openFailed(fileName);
        return false;
    }

    hasVideoWindow_ = service_->putCaption(VideoCaption + captionSuffix_);
    if (hasVideoWindow_) {
        // Directly left of the owner, one pixel below its top; the service keeps its size.
        const int width = service_->width();
        service_->putLeft(ownerPlace_.x() - width);
        service_->putTop(ownerPlace_.y() + 1);
        savedMessageDrain_ = service_->messageDrain();
    }

    service_->setNotifyWindow(owner_, GraphNotifyEvent, 0);

    frameUnit_ = service_->setTimeFormatFrame() ? FrameUnitFrames : FrameUnitHundredNs;

    std::int64_t duration = 0;
    const bool durationRead = service_->duration(duration);
    durationFrames_ = frameOfMediaTime(duration, frameUnit_);
    if (durationRead) {
        qCInfo(lcMedia).noquote() << "opened" << fileName << "frames" << durationFrames_;
    } else {
        qCInfo(lcMedia).noquote() << "open failed" << fileName;
    }
    return durationRead;
}

void TGraphPlayer::ReopenMedia() {
    if (mediaOpen_) {
        reopen(false);
    }
}

void TGraphPlayer::CloseMedia() {
    if (!mediaOpen_) {
        return;
    }
    StopMedia();
    mediaOpen_ = false;
    ReleaseGraph();
    service_->keepDisplayAwake(false);
}

void TGraphPlayer::PlayMedia() {
    if (!mediaOpen_) {
        OpenMedia();
    }
    if (mediaOpen_) {
        emit aboutToPlay();
        noteRunStart();
        service_->run();
        running_ = true;
    }
}

bool TGraphPlayer::PlayMediaAt(std::int64_t sharedTimeNs) {
    if (!mediaOpen_) {
        OpenMedia();
    }
    if (!mediaOpen_) {
        return false;
    }
    emit aboutToPlay();
    noteRunStart();
    const bool timed = service_->runAt(sharedTimeNs);
    if (!timed) {
        service_->run();
    }
    running_ = true;
    return timed;
}

void TGraphPlayer::StopMedia() {
    if (mediaOpen_) {
        service_->stop();
        running_ = false;
        runStart_.reset();
    }
}

void TGraphPlayer::PauseMedia() {
    if (mediaOpen_) {
        service_->pause();
        running_ = false;
        runStart_.reset();
    }
}

void TGraphPlayer::noteRunStart() {
    // A run of media that runs already goes on from where it is; it started earlier.
    if (!running_ || !runStart_) {
        runStart_ = CurrentFrame();
    }
}

void TGraphPlayer::SeekToFrame(std::int64_t frame) {
    setPositions(mediaTimeOfFrame(frame, frameUnit_),
                 mediaTimeOfFrame(durationFrames_, frameUnit_));
}

void TGraphPlayer::SetPlayRange(std::int64_t startFrame, std::int64_t stopFrame) {
    setPositions(mediaTimeOfFrame(startFrame, frameUnit_), mediaTimeOfFrame(stopFrame, frameUnit_));
}

void TGraphPlayer::SetNextRange(std::int64_t startFrame, std::int64_t stopFrame) {
    if (mediaOpen_) {
        service_->setNextRange(mediaTimeOfFrame(startFrame, frameUnit_),
                               mediaTimeOfFrame(stopFrame, frameUnit_));
    }
}

void TGraphPlayer::ClearNextRange() {
    if (mediaOpen_) {
        service_->clearNextRange();
    }
}

void TGraphPlayer::setPositions(std::int64_t current, std::int64_t stop) {
    if (mediaOpen_) {
        service_->setPositions(current, stop);
        cuedRange_ = {current, stop};
        ++positionsSet_;
        rangeEnded_ = false;
        runStart_.reset();
    }
}

std::int64_t TGraphPlayer::CurrentFrame() {
    return frameOfMediaTime(service_->currentPosition(), frameUnit_);
}

std::int64_t TGraphPlayer::StartFrame() {
    return running_ && runStart_ ? *runStart_ : CurrentFrame();
}

void TGraphPlayer::SetControlWindowVisible(bool visible) {
    emit controlWindowWanted(visible);
    if (mediaOpen_) {
        // While the owner is hidden, keys and double clicks in the video window reach it.
        service_->putMessageDrain(visible ? savedMessageDrain_ : owner_);
    }
}

void TGraphPlayer::SetFullScreen(bool on) {
    if (!mediaOpen_ || !hasVideoWindow_) {
        return;
    }
    SetControlWindowVisible(!on);
    service_->putFullScreenMode(on);
    fullScreenActive_ = on;
}

void TGraphPlayer::HandleMediaEvent() {
    while (holds(MediaRef::MediaEvent)) {
        MediaEventRecord event;
        if (!service_->getEvent(event, 0)) {
            return;
        }
        service_->freeEventParams(event);
        switch (event.code) {
            case EC_COMPLETE:
                rangeEnded_ = true;
                // The graph keeps running: a range set now at the old stop plays at once.
                emit rangeComplete();
                break;
            case EC_USERABORT:
                // Closing the full-screen video window must not leave the operator with no
                // window at all: the owner comes back as when full screen is lost.
                if (fullScreenActive_) {
                    SetControlWindowVisible(true);
                    fullScreenActive_ = false;
                }
                // Releases the event reference too, which ends the loop.
                CloseMedia();
                break;
            case EC_ERRORABORT:
                if (mediaOpen_) {
                    // Takes the next events from the new graph; the old one went with its queue.
                    recoverFromError();
                }
                break;
            case EC_FULLSCREEN_LOST:
                SetControlWindowVisible(true);
                fullScreenActive_ = false;
                break;
            default:
                break;
        }
    }
}

void TGraphPlayer::recoverFromError() {
    qCWarning(lcMedia).noquote() << "the media failed while" << (running_ ? "playing" : "cued")
                                 << "and is opened again:" << fileName_;
    const std::int64_t framesBefore =
        std::max(durationFrames_, cutShort_ && cutShort_->name == fileName_ ? cutShort_->wholeFrames
                                                                            : std::int64_t{0});
    reopen(true);
    watchIfCutShort(framesBefore);
}

void TGraphPlayer::watchIfCutShort(std::int64_t framesBefore) {
    const QString& fileName = fileName_;
    if (!mediaOpen_ || durationFrames_ >= framesBefore) {
        cutShort_.reset();
        cutShortCheck_.stop();
        return;
    }
    qCWarning(lcMedia).noquote() << fileName << "came back shorter than it was:" << durationFrames_
                                 << "of" << framesBefore
                                 << "frames; it is watched and read anew once it changes";
    cutShort_ = CutShortFile{fileName, framesBefore, fileStamp(fileName)};
    cutShortCheck_.start();
}

void TGraphPlayer::CutShortCheckTimer() {
    const QString& fileName = fileName_;
    if (!cutShort_ || !mediaOpen_ || fileName != cutShort_->name) {
        cutShort_.reset();
        cutShortCheck_.stop();
        return;
    }
    // A moving picture is not cut off: it is opened again once it stands still (cued, stopped,
    // or held at the end of its range), which the short file makes it do soon.
    if (PictureShouldMove() || fileStamp(fileName) == cutShort_->stamp) {
        return;
    }
    const std::int64_t framesBefore = cutShort_->wholeFrames;
    qCInfo(lcMedia).noquote() << fileName << "changed since it came back short; read anew";
    reopen(false);
    watchIfCutShort(framesBefore);
}

void TGraphPlayer::reopen(bool completeRunningRange) {
    const bool wasRunning = running_ && completeRunningRange;
    const bool wasFullScreen = fullScreenActive_;
    const auto range = cuedRange_;
    CloseMedia();
    {
        const QScopedValueRollback guard(opening_, true);
        openGraph();
    }
    if (mediaOpen_) {
        if (range) {
            setPositions(range->first, range->second);
        }
        // Shows the new video window, as the rewind after a first opening does.
        PauseMedia();
    }
    if (wasFullScreen) {
        fullScreenActive_ = false;
        if (mediaOpen_ && hasVideoWindow_) {
            SetFullScreen(true);
        } else {
            SetControlWindowVisible(true);
        }
    }
    if (!wasRunning) {
        return;
    }
    // The range that was playing is over for the show: the controller moves on as after its end.
    // A normal end leaves the graph running, so a range set now plays at once; the new graph
    // runs as well when the controller sets one and neither pauses nor stops it.
    running_ = mediaOpen_;
    const std::uint64_t positionsBefore = positionsSet_;
    emit rangeComplete();
    if (mediaOpen_ && running_ && positionsSet_ != positionsBefore) {
        service_->run();
    }
}

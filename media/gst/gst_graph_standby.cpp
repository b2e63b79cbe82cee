// The standby pipeline: a second pipeline of the graph's file, paused on the first frame of the
// range cued next, so that the cue shows it instead of seeking (a seek into a long H.264 GOP
// takes longer than a sync time).
#include "media/gst/gst_graph.h"

#include "media/media_log.h"

#include <gst/video/videooverlay.h>

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <utility>

namespace {

std::optional<std::int64_t> availableMemoryKiB() {
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
            return ok ? std::optional<std::int64_t>(kib) : std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

void GstGraph::setNextRange(std::int64_t current, std::int64_t stop) {
    if (front_ == nullptr || (back_ == nullptr && !plan_.mayTry(StandbyPlan::Clock::now()))) {
        return;
    }
    if (!plan_.setNext(seekRangeOf(current, stop))) {
        return;
    }
    if (back_ == nullptr) {
        if (plan_.retrying()) {
            qCInfo(lcMedia).noquote() << "trying a second pipeline for" << fileName_ << "again";
        }
        if (!createStandby()) {
            plan_.clearNext();
            return;
        }
    }
    advanceStandby();
}

void GstGraph::clearNextRange() {
    plan_.clearNext();
}

void GstGraph::refuseStandby(const char* why) {
    qCInfo(lcMedia) << "cueing" << fileName_ << "by seeking with one pipeline:" << why;
    plan_.refuse();
}

bool GstGraph::createStandby() {
    const StandbyConditions conditions{
        window_ != nullptr, fileName_.endsWith(QStringLiteral(".grf"), Qt::CaseInsensitive),
        frameFormat_, availableMemoryKiB()};
    if (const std::optional<StandbyPlan::Refusal> refusal = StandbyPlan::refusal(conditions)) {
        if (refusal->forGood) {
            refuseStandby(refusal->why);
        } else {
            plan_.giveUp(StandbyPlan::Clock::now());
            qCInfo(lcMedia).noquote()
                << "cueing" << fileName_ << "by seeking with one pipeline:" << refusal->why
                << "; a second is tried again in"
                << std::chrono::duration_cast<std::chrono::seconds>(plan_.retryDelay()).count()
                << "s";
        }
        return false;
    }
    const int surface = 1 - front_->surface();
    back_ = makePlaybin(surface);
    if (back_ == nullptr) {
        refuseStandby("no second pipeline");
        return false;
    }
    back_->attachFrameLog(frameRate_, false);
    listen(*back_);
    {
        std::lock_guard lock(mutex_);
        standbyFailed_ = false;
    }
    standbyAttached_ = false;
    plan_.restart();
    if (back_->setState(GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        // An audio device that only one stream may open fails here.
        dropStandby("the second pipeline cannot start (an output that opens only once?)");
        plan_.refuse();
        return false;
    }
    return true;
}

void GstGraph::dropStandby(const char* why) {
    if (back_ == nullptr) {
        return;
    }
    if (why != nullptr) {
        qCWarning(lcMedia) << "cueing" << fileName_ << "by seeking with one pipeline:" << why;
    }
    back_.reset();
    plan_.forget();
    if (plan_.heldCue()) {
        // The cue waited for this standby: it seeks now rather than at its deadline.
        QMetaObject::invokeMethod(
            &notifier_, [this] { finishCue(); }, Qt::QueuedConnection);
    }
}

void GstGraph::standbyFailed(GstMessage* message) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    qCWarning(lcMedia).noquote() << "the standby pipeline of" << fileName_
                                 << "failed:" << error->message;
    g_error_free(error);
    {
        std::lock_guard lock(mutex_);
        standbyFailed_ = true;
    }
    wakeStandby();
}

void GstGraph::advanceStandby() {
    if (back_ == nullptr) {
        return;
    }
    bool failed = false;
    {
        std::lock_guard lock(mutex_);
        failed = standbyFailed_;
    }
    if (failed) {
        plan_.refuse();
        dropStandby("the second pipeline failed");
        return;
    }
    const std::optional<SeekRange> due = plan_.seekDue(back_->settled());
    if (!due) {
        return;
    }
    if (!standbyAttached_) {
        // The first preroll made the sinks: the surface follows the window's size from now on.
        standbyAttached_ = true;
        GstElement* overlay =
            gst_bin_get_by_interface(GST_BIN(back_->element()), GST_TYPE_VIDEO_OVERLAY);
        window_->attach(back_->surface(), overlay, back_->videoSink());
        if (overlay != nullptr) {
            gst_object_unref(overlay);
        }
        back_->findDisplaySinks();
    }
    back_->setShowPrerollFrame(true);
    plan_.sentTo(back_->seek(*due, 0) ? due : std::nullopt);
}

void GstGraph::swapToStandby(const SeekRange& range) {
    const bool running =
        heldState_ ? *heldState_ == GST_STATE_PLAYING : runAfterSwap_ || front_->running();
    heldState_.reset();
    const std::optional<GstClockTime> base = std::exchange(heldBaseTime_, std::nullopt);
    // The old pipeline goes behind the new one; it holds its frame and is not waited for. What
    // it still ends belongs to no range.
    front_->assignRange(0);
    front_->pauseBehind();
    std::swap(front_, back_);
    front_->assignRange(rangeSerial_);
    front_->setShown(true);
    shown_ = front_.get();
    window_->showSurface(front_->surface());
    lastPositionNs_ = range.startNs;
    seekRange_ = range;
    seekSinceRun_ = false;
    // One that ran is prepared only once it has paused; its ASYNC_DONE may come before the
    // roles are swapped, which is why readiness is read from its state, not from messages.
    plan_.sentTo(std::nullopt);
    // Started in the next turn unless the cue pauses it in this one: paused right after it
    // started, a pipeline may already hold the next frame.
    runAfterSwap_ = running;
    if (running) {
        QMetaObject::invokeMethod(
            &notifier_,
            [this, base] {
                if (std::exchange(runAfterSwap_, false)) {
                    front_->setState(GST_STATE_PLAYING, options_.clock.get(), base);
                }
            },
            Qt::QueuedConnection);
    }
    advanceStandby();
}

bool GstGraph::standbyReady() {
    if (!plan_.soughtNext() || !back_->settled()) {
        return false;
    }
    const std::optional<std::int64_t> held = back_->heldStreamTime();
    return held && nsToUnits(*held) == nsToUnits(plan_.sought()->startNs);
}

bool GstGraph::nextRangeReady() {
    advanceStandby();
    return back_ != nullptr && standbyReady();
}

void GstGraph::wakeStandby() {
    QMetaObject::invokeMethod(
        &notifier_,
        [this] {
            advanceStandby();
            finishCue();
        },
        Qt::QueuedConnection);
}

void GstGraph::finishCue() {
    const std::optional<SeekRange> cue = plan_.heldCue();
    if (!cue) {
        return;
    }
    // The seek a cue would fall back to competes for the same cores and takes longer than the
    // preparation under way, so the cue waits for the standby, but not for one that cannot
    // get there.
    advanceStandby();
    if (back_ != nullptr && plan_.prepares(*cue)) {
        if (standbyReady()) {
            cueDeadline_.stop();
            plan_.hit();
            plan_.releaseCue();
            swapToStandby(*cue);
            return;
        }
        const GstStateChangeReturn change = back_->stateChange();
        const bool cannotPreroll =
            change == GST_STATE_CHANGE_FAILURE || change == GST_STATE_CHANGE_NO_PREROLL;
        const bool wrongFrame = change == GST_STATE_CHANGE_SUCCESS && plan_.soughtNext();
        const bool late = !cueDeadline_.isActive();
        if (!cannotPreroll && !wrongFrame && !late) {
            return;
        }
        cueDeadline_.stop();
        plan_.releaseCue();
        if (wrongFrame) {
            standbyMissed("settled on another frame than the one it was sent to");
        } else if (late) {
            standbyMissed("was not ready in time");
        }
    } else {
        cueDeadline_.stop();
        plan_.releaseCue();
    }
    const std::optional<GstState> state = std::exchange(heldState_, std::nullopt);
    const std::optional<GstClockTime> base = std::exchange(heldBaseTime_, std::nullopt);
    seekTo(*cue);
    if (state) {
        changeState(*state, base);
    }
    advanceStandby();
}

void GstGraph::standbyMissed(const char* what) {
    qCInfo(lcMedia) << "the standby of" << fileName_ << what << "and the cue seeks";
    // A standby that keeps missing (stuck, or a machine too slow for two pipelines) would cost
    // its wait at every cue.
    if (plan_.miss()) {
        dropStandby("the second pipeline missed three cues in a row");
        plan_.giveUp(StandbyPlan::Clock::now());
        qCInfo(lcMedia)
            << "a second pipeline is tried again in"
            << std::chrono::duration_cast<std::chrono::seconds>(plan_.retryDelay()).count() << "s";
    }
}

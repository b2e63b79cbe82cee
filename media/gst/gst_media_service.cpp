#include "media/gst/gst_media_service.h"

namespace {

std::size_t slot(MediaRef ref) {
    return static_cast<std::size_t>(ref);
}

GstGraphOptions withClock(GstGraphOptions options) {
    if (options.clock == nullptr) {
        options.clock = std::make_shared<ShowClock>();
    }
    return options;
}

}  // namespace

GstMediaService::GstMediaService(GstGraphOptions options) {
    if (!gst_is_initialized()) {
        gst_init(nullptr, nullptr);
    }
    // The clock outlives the graphs: a Slave's clock settles once, not at every file opened.
    options_ = withClock(std::move(options));
}

GstMediaService::~GstMediaService() = default;

bool GstMediaService::createGraph() {
    refs_[slot(MediaRef::GraphBuilder)] = std::make_shared<GstGraph>(options_);
    return true;
}

void GstMediaService::query(MediaRef ref) {
    refs_[slot(ref)] = refs_[slot(MediaRef::GraphBuilder)];
}

void GstMediaService::release(MediaRef ref) {
    refs_[slot(ref)].reset();
}

GstGraph* GstMediaService::graph(MediaRef ref) const {
    return refs_[slot(ref)].get();
}

VideoWindow* GstMediaService::window() const {
    GstGraph* g = graph(MediaRef::VideoWindow);
    return g != nullptr ? g->videoWindow() : nullptr;
}

bool GstMediaService::renderFile(const QString& name) {
    GstGraph* g = graph(MediaRef::GraphBuilder);
    return g != nullptr && g->render(name);
}

bool GstMediaService::putCaption(const QString& caption) {
    VideoWindow* w = window();
    if (w == nullptr) {
        return false;
    }
    w->setWindowTitle(caption);
    return true;
}

int GstMediaService::width() {
    VideoWindow* w = window();
    return w != nullptr ? w->frameGeometry().width() : 0;
}

void GstMediaService::putLeft(int left) {
    if (VideoWindow* w = window()) {
        w->moveFrameTo({left, w->framePosition().y()});
    }
}

void GstMediaService::putTop(int top) {
    if (VideoWindow* w = window()) {
        w->moveFrameTo({w->framePosition().x(), top});
    }
}

WindowHandle GstMediaService::messageDrain() {
    VideoWindow* w = window();
    return w != nullptr ? w->messageDrain() : nullptr;
}

void GstMediaService::putMessageDrain(WindowHandle drain) {
    if (VideoWindow* w = window()) {
        w->setMessageDrain(drain);
    }
}

void GstMediaService::putFullScreenMode(bool on) {
    if (VideoWindow* w = window()) {
        w->setFullScreenMode(on);
    }
}

void GstMediaService::setNotifyWindow(WindowHandle window, QEvent::Type message, std::intptr_t) {
    if (GstGraph* g = graph(MediaRef::MediaEvent)) {
        g->setNotifyWindow(window, message);
    }
}

bool GstMediaService::getEvent(MediaEventRecord& event, int timeoutMs) {
    GstGraph* g = graph(MediaRef::MediaEvent);
    return g != nullptr && g->takeEvent(event, timeoutMs);
}

// Events carry plain numbers; there is nothing to free.
void GstMediaService::freeEventParams(const MediaEventRecord&) {}

bool GstMediaService::setTimeFormatFrame() {
    GstGraph* g = graph(MediaRef::MediaSeeking);
    return g != nullptr && g->setFrameFormat();
}

bool GstMediaService::duration(std::int64_t& duration) {
    GstGraph* g = graph(MediaRef::MediaSeeking);
    duration = 0;
    return g != nullptr && g->duration(duration);
}

std::int64_t GstMediaService::currentPosition() {
    GstGraph* g = graph(MediaRef::MediaSeeking);
    return g != nullptr ? g->currentPosition() : 0;
}

void GstMediaService::setPositions(std::int64_t current, std::int64_t stop) {
    if (GstGraph* g = graph(MediaRef::MediaSeeking)) {
        g->setPositions(current, stop);
    }
}

void GstMediaService::setNextRange(std::int64_t current, std::int64_t stop) {
    if (GstGraph* g = graph(MediaRef::MediaSeeking)) {
        g->setNextRange(current, stop);
    }
}

void GstMediaService::clearNextRange() {
    if (GstGraph* g = graph(MediaRef::MediaSeeking)) {
        g->clearNextRange();
    }
}

void GstMediaService::useClock(const ClockSetup& setup) {
    options_.clock->setup(setup);
}

SharedClockState GstMediaService::sharedClock() {
    return options_.clock->state();
}

void GstMediaService::renewClock() {
    options_.clock->renew();
}

bool GstMediaService::runAt(std::int64_t sharedTimeNs) {
    GstGraph* g = graph(MediaRef::MediaControl);
    return g != nullptr && options_.clock->state().shared && g->runAt(sharedTimeNs);
}

std::int64_t GstMediaService::frameDurationNs() {
    GstGraph* g = graph(MediaRef::MediaSeeking);
    return g != nullptr && g->frameRate().known() ? stream_time::frameStart(1, g->frameRate()) : 0;
}

void GstMediaService::run() {
    if (GstGraph* g = graph(MediaRef::MediaControl)) {
        g->setState(GST_STATE_PLAYING);
    }
}

void GstMediaService::pause() {
    if (GstGraph* g = graph(MediaRef::MediaControl)) {
        g->setState(GST_STATE_PAUSED);
    }
}

// A stopped graph keeps its position and its picture, and must still take seeks: in GStreamer
// that is a paused pipeline (READY would forget the position and drop the seek).
void GstMediaService::stop() {
    pause();
}

void GstMediaService::keepDisplayAwake(bool on) {
    screenSaver_.setInhibited(on);
}

FrameRate GstMediaService::frameRate() {
    GstGraph* g = graph(MediaRef::GraphBuilder);
    return g != nullptr ? g->frameRate() : FrameRate{};
}

std::optional<std::int64_t> GstMediaService::shownPicture() {
    GstGraph* g = graph(MediaRef::GraphBuilder);
    return g != nullptr ? g->shownStreamTime() : std::nullopt;
}

QSize GstMediaService::videoSize() {
    VideoWindow* w = window();
    return w != nullptr ? w->naturalSize() : QSize();
}

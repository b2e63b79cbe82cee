#pragma once

#include "media/gst/gst_graph.h"
#include "media/gst/screen_saver_inhibitor.h"
#include "media/media_service.h"

#include <array>
#include <memory>

// The media service on GStreamer. Each reference the player holds points at the graph it was
// taken from, and a graph lives while any reference to it is held, so a graph left behind by a
// failed render goes only when its last reference is released. UI thread only.
class GstMediaService final : public MediaService {
public:
    explicit GstMediaService(GstGraphOptions options = {});
    ~GstMediaService() override;

    bool createGraph() override;
    void query(MediaRef ref) override;
    void release(MediaRef ref) override;

    bool renderFile(const QString& name) override;

    bool putCaption(const QString& caption) override;
    int width() override;
    void putLeft(int left) override;
    void putTop(int top) override;
    WindowHandle messageDrain() override;
    void putMessageDrain(WindowHandle drain) override;
    void putFullScreenMode(bool on) override;

    void setNotifyWindow(WindowHandle window, QEvent::Type message,
                         std::intptr_t instanceData) override;
    bool getEvent(MediaEventRecord& event, int timeoutMs) override;
    void freeEventParams(const MediaEventRecord& event) override;

    bool setTimeFormatFrame() override;
    bool duration(std::int64_t& duration) override;
    std::int64_t currentPosition() override;
    void setPositions(std::int64_t current, std::int64_t stop) override;
    void setNextRange(std::int64_t current, std::int64_t stop) override;
    void clearNextRange() override;

    void useClock(const ClockSetup& setup) override;
    SharedClockState sharedClock() override;
    void renewClock() override;
    bool runAt(std::int64_t sharedTimeNs) override;
    std::int64_t frameDurationNs() override;

    void run() override;
    void pause() override;
    void stop() override;

    void keepDisplayAwake(bool on) override;

    FrameRate frameRate() override;
    std::optional<std::int64_t> shownPicture() override;
    QSize videoSize() override;

    // The graph behind a held reference (nullptr when not held), for tests and benchmarks
    // that look at the pipeline or the video window.
    GstGraph* graph(MediaRef ref = MediaRef::GraphBuilder) const;

private:
    VideoWindow* window() const;

    GstGraphOptions options_;
    std::array<std::shared_ptr<GstGraph>, 5> refs_;  // indexed by MediaRef
    ScreenSaverInhibitor screenSaver_;
};

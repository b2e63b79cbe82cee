#pragma once

#include "media/media_service.h"

#include <QStringList>
#include <array>
#include <deque>
#include <memory>
#include <vector>

// Media service double: records every call as text into a log shared with the test (so that
// owner callbacks can be logged in the same sequence), answers as configured and queues events.
// It fails the running test when a reference is queried twice or released while not held.
class FakeMediaService final : public MediaService {
public:
    struct Config {
        bool createGraph = true;
        bool render = true;
        // Files that fail to render whatever render says.
        QStringList unplayable;
        bool caption = true;
        int width = 640;
        WindowHandle drain = nullptr;
        bool frameFormat = true;
        bool durationOk = true;
        std::int64_t duration = 1000;
        std::int64_t position = 0;
        FrameRate rate;
        // The shared clock as the backend would report it, and nanoseconds per frame.
        SharedClockState clock;
        std::int64_t frameNs = 0;
    };

    explicit FakeMediaService(std::shared_ptr<QStringList> log) : log_(std::move(log)) {}

    Config config;

    // Where the calls left the graph, for tests about the outcome rather than the calls.
    enum class Transport { Stopped, Paused, Running };
    struct State {
        QString file;
        QString caption;
        int left = 0;
        int top = 0;
        std::int64_t start = -1;
        std::int64_t stop = -1;
        Transport transport = Transport::Stopped;
        int unfreedEvents = 0;
    };
    State state;
    // Every reference the player can hold is held.
    bool holdsAll() const;
    bool holdsNone() const;

    // Queues an event and, like the real service, notifies the notify window.
    void queueEvent(long code, std::intptr_t param1 = 0, std::intptr_t param2 = 0);
    std::size_t queuedEvents() const { return events_.size(); }
    bool holds(MediaRef ref) const { return held_[static_cast<std::size_t>(ref)]; }
    WindowHandle notifyWindow() const { return notifyWindow_; }

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
    void run() override;
    void pause() override;
    void stop() override;
    // Kept as state, not logged: the call sequences the tests compare stay about the graph.
    void keepDisplayAwake(bool on) override { displayKeptAwake = on; }
    FrameRate frameRate() override { return config.rate; }
    // Kept apart from the call log, whose order other tests read call by call.
    void useClock(const ClockSetup& setup) override { clockSetups.push_back(setup); }
    SharedClockState sharedClock() override { return config.clock; }
    void renewClock() override { ++clockRenewals; }
    std::int64_t frameDurationNs() override { return config.frameNs; }
    std::vector<ClockSetup> clockSetups;
    int clockRenewals = 0;
    bool displayKeptAwake = false;

    static QString nameOf(MediaRef ref);
    static QString nameOf(WindowHandle window);

private:
    void record(const QString& call) { *log_ << call; }

    std::shared_ptr<QStringList> log_;
    std::array<bool, 5> held_{};
    std::deque<MediaEventRecord> events_;
    WindowHandle notifyWindow_ = nullptr;
};

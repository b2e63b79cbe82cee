#pragma once

#include "media/stream_time.h"

#include <QEvent>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

class QObject;

// The object that receives the media notification and, as message drain, the video window's
// keyboard and mouse input. nullptr means none (the video window handles its input itself).
using WindowHandle = QObject*;

// The private notification posted to the notify window whenever events are queued
// (message 0x040D, the user range plus 13).
inline constexpr QEvent::Type GraphNotifyEvent = static_cast<QEvent::Type>(QEvent::User + 13);

// Event codes the player acts on.
inline constexpr long EC_COMPLETE = 1;
inline constexpr long EC_USERABORT = 2;
// The graph failed while open (a sink went away, a stream stopped decoding); raised once per
// graph, after which it plays no more.
inline constexpr long EC_ERRORABORT = 3;
inline constexpr long EC_FULLSCREEN_LOST = 18;

// The five references the player holds on an open graph.
enum class MediaRef { GraphBuilder, MediaControl, MediaEvent, VideoWindow, MediaSeeking };

// Which clock the show's pipelines run on. A Master publishes its clock on a UDP port; a Slave
// follows the Master's once that clock has settled, and plays on its own until then.
struct ClockSetup {
    enum class Role { Own, Publish, Follow };
    Role role = Role::Own;
    QString masterHost;  // Follow only
    quint16 port = 0;    // UDP; 0 with Publish or Follow means Own
    // Diagnostic: the machine's own clock runs this many parts per million fast.
    int driftPpm = 0;
};

struct SharedClockState {
    // The pipelines run on the shared clock: always on a publishing Master, on a following
    // Slave once its clock settled.
    bool shared = false;
    bool following = false;
    // Following: the clock answered and settled (latched once it did).
    bool settled = false;
    // The shared clock's time now, in ns; only meaningful while shared.
    std::int64_t nowNs = 0;
    // Following: the latest measured offset from the local clock and round trip, in ns.
    std::int64_t offsetNs = 0;
    std::int64_t roundTripNs = 0;
    // Publishing: why the port could not be had (empty once it could).
    QString publishError;
    // Following: how often the Master's clock stepped and a new clock was started for it, and
    // the last step's size.
    int steps = 0;
    std::int64_t lastStepNs = 0;
};

struct MediaEventRecord {
    long code = 0;
    std::intptr_t param1 = 0;
    std::intptr_t param2 = 0;
};

// The filter-graph operations the media player relies on, and nothing more. Every call is made
// on the user-interface thread. Positions and durations are in the current time format: frames
// after setTimeFormatFrame() succeeded, otherwise units of 100 ns.
//
// Lifecycle: createGraph() makes a new, empty graph (dropping nothing: the caller releases the
// old references first); query() then acquires each further reference; release() gives one up.
// A graph exists as long as any reference to it is held.
class MediaService {
public:
    virtual ~MediaService() = default;

    // Creates a graph and holds its builder reference. False: no graph.
    virtual bool createGraph() = 0;
    virtual void query(MediaRef ref) = 0;
    virtual void release(MediaRef ref) = 0;

    // True only when every stream of the file is rendered.
    virtual bool renderFile(const QString& name) = 0;

    // Video window. putCaption() fails when the graph has no video window (audio only).
    virtual bool putCaption(const QString& caption) = 0;
    virtual int width() = 0;
    virtual void putLeft(int left) = 0;
    virtual void putTop(int top) = 0;
    virtual WindowHandle messageDrain() = 0;
    virtual void putMessageDrain(WindowHandle drain) = 0;
    virtual void putFullScreenMode(bool on) = 0;

    // Events. The service posts a GraphNotifyEvent to the window whenever events are queued.
    virtual void setNotifyWindow(WindowHandle window, QEvent::Type message,
                                 std::intptr_t instanceData) = 0;
    // Takes one event off the queue; false when the queue is empty.
    virtual bool getEvent(MediaEventRecord& event, int timeoutMs) = 0;
    virtual void freeEventParams(const MediaEventRecord& event) = 0;

    // Seeking.
    virtual bool setTimeFormatFrame() = 0;
    virtual bool duration(std::int64_t& duration) = 0;
    virtual std::int64_t currentPosition() = 0;
    // Both positions absolute; playback ends with EC_COMPLETE when it reaches stop.
    virtual void setPositions(std::int64_t current, std::int64_t stop) = 0;
    // The range the next setPositions() will most likely ask for, so that the service can have
    // it ready; a hint only, and a service may ignore it. Cleared when no range is expected.
    virtual void setNextRange(std::int64_t /*current*/, std::int64_t /*stop*/) {}
    virtual void clearNextRange() {}

    // The shared clock. Publishing starts at once; a follower settles within seconds.
    virtual void useClock(const ClockSetup& /*setup*/) {}
    virtual SharedClockState sharedClock() { return {}; }
    virtual void renewClock() {}
    // Runs so that the frame after the one cued appears at `sharedTimeNs` on the shared clock.
    // False, with nothing done, when the pipelines are not on the shared clock or already run.
    virtual bool runAt(std::int64_t /*sharedTimeNs*/) { return false; }
    // Nanoseconds per frame of the video (0 when frames cannot be counted).
    virtual std::int64_t frameDurationNs() { return 0; }

    // Control.
    virtual void run() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;

    // While on, the screen saver and display power saving do not start. Never waits; the
    // service gives it up when it goes.
    virtual void keepDisplayAwake(bool on) = 0;

    // What the rendered file declares, for status reports: its frame rate (unknown for audio
    // or a service that cannot tell) and its picture size (empty without video).
    virtual FrameRate frameRate() { return {}; }
    virtual QSize videoSize() { return {}; }
    // The time stamp of the frame the video sink shows now; nothing when it cannot tell.
    virtual std::optional<std::int64_t> shownPicture() { return std::nullopt; }
};

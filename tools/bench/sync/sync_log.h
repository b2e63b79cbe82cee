#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads the event logs of the instances of one show on one machine and measures each segment
// start: when each instance showed the segment's first frame (monotonic clock, comparable across
// processes), which frame that was, and how long each instance took to cue.

// One event-log line: "<monotonic> <wallclock> <category> <message>".
struct LogLine {
    double monotonic = 0;  // seconds
    std::string category;
    std::string message;
};

std::optional<LogLine> parseLogLine(std::string_view line);

// What the measurement needs from a log, in the order it was written.
enum class EventKind {
    StartSignal,  // "sent Play" on the Master, "received Play" on a Slave
    CueSignal,    // "sent DoNC<n>" / "received DoNC<n>"; value n
    Cued,         // "cued segment <i> frames <start> to <stop>"; value start
    Prerolled,    // "prerolled frame <n>"
    Started,      // "started frame <n>"
};

struct Event {
    double at = 0;
    EventKind kind = EventKind::StartSignal;
    std::int64_t value = 0;
};

// The events of one log; lines of other kinds, or that do not parse, are left out.
std::vector<Event> readEvents(std::istream& log);

struct Instance {
    std::vector<Event> events;
    std::int64_t inPoint = 0;
};

// One segment start across all instances; instance 0 (the Master) sets the starts.
struct SegmentStart {
    double signal = 0;                                    // the Master's start signal
    std::int64_t expectedFrame = 0;                       // relative to the In points
    std::vector<std::optional<double>> startedAt;         // per instance
    std::vector<std::optional<std::int64_t>> shownFrame;  // per instance, relative
    std::vector<bool> stillCueing;  // the start signal came before the cue was done
};

struct SyncReport {
    std::vector<SegmentStart> starts;
    std::vector<double> skews;     // seconds, of starts every instance made
    std::vector<double> cueTimes;  // seconds, cue signal to the first frame after it
    int missing = 0;               // instance starts with no "started frame"
    int mismatches = 0;            // instance starts on a frame other than the expected one
    int stillCueing = 0;           // Slave starts whose cue was not done when "Play" came
    int masterStillCueing = 0;     // the same on the Master
    // Of those Slave starts: seconds from the Master's "Play" to the Slave's start.
    std::vector<double> lateness;
};

SyncReport analyze(const std::vector<Instance>& instances);

struct Figures {
    double median = 0;
    double p95 = 0;
    double max = 0;
};

// Median, nearest-rank 95th percentile and maximum; zeros for no values.
Figures figuresOf(std::vector<double> values);

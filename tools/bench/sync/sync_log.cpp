#include "sync_log.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

std::string_view nextWord(std::string_view& text) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return word;
}

template <typename Number>
std::optional<Number> numberOf(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

bool takePrefix(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) {
        return false;
    }
    text.remove_prefix(prefix.size());
    return true;
}

std::optional<Event> eventOf(const LogLine& line) {
    std::string_view message = line.message;
    Event event;
    event.at = line.monotonic;
    if (line.category == "framelock.sync") {
        if (!takePrefix(message, "sent ") && !takePrefix(message, "received ")) {
            if (!takePrefix(message, "cued segment ")) {
                return std::nullopt;
            }
            nextWord(message);
            if (nextWord(message) != "frames") {
                return std::nullopt;
            }
            const auto start = numberOf<std::int64_t>(nextWord(message));
            if (!start) {
                return std::nullopt;
            }
            event.kind = EventKind::Cued;
            event.value = *start;
            return event;
        }
        if (message == "Play") {
            event.kind = EventKind::StartSignal;
            return event;
        }
        // A start announced on the shared clock: the instances start on it, before "Play".
        if (takePrefix(message, "PlAt")) {
            event.kind = EventKind::StartSignal;
            event.value = 1;
            return event;
        }
        if (takePrefix(message, "DoNC")) {
            const auto index = numberOf<std::int64_t>(message);
            if (!index) {
                return std::nullopt;
            }
            event.kind = EventKind::CueSignal;
            event.value = *index;
            return event;
        }
        return std::nullopt;
    }
    if (line.category == "framelock.media") {
        if (takePrefix(message, "prerolled frame ")) {
            event.kind = EventKind::Prerolled;
        } else if (takePrefix(message, "started frame ")) {
            event.kind = EventKind::Started;
        } else {
            return std::nullopt;
        }
        const auto frame = numberOf<std::int64_t>(message);
        if (!frame) {
            return std::nullopt;
        }
        event.value = *frame;
        return event;
    }
    return std::nullopt;
}

// The instance's start signal that answers the Master's signal at `from`: the first one in
// [from - slack, until - slack). The slack covers a Slave's log line written a little before the
// Master's own line for the same command.
constexpr double kSignalSlack = 0.2;

const Event* firstOf(const std::vector<Event>& events, EventKind kind, double from, double until) {
    for (const Event& event : events) {
        if (event.kind == kind && event.at >= from && event.at < until) {
            return &event;
        }
    }
    return nullptr;
}

const Event* lastOf(const std::vector<Event>& events, EventKind kind, double before) {
    const Event* found = nullptr;
    for (const Event& event : events) {
        if (event.at > before) {
            break;
        }
        if (event.kind == kind) {
            found = &event;
        }
    }
    return found;
}

// A cue is done once the sink holds a frame after the latest cue signal.
bool cueDone(const std::vector<Event>& events, double startSignal) {
    const Event* cue = lastOf(events, EventKind::CueSignal, startSignal);
    if (cue == nullptr) {
        return true;
    }
    return firstOf(events, EventKind::Prerolled, cue->at, startSignal + 1e-9) != nullptr;
}

void collectCueTimes(const std::vector<Event>& events, std::vector<double>& cueTimes) {
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != EventKind::CueSignal) {
            continue;
        }
        for (std::size_t j = i + 1; j < events.size(); ++j) {
            if (events[j].kind == EventKind::CueSignal) {
                break;
            }
            // A cue that "Play" overtook ends with the frame the running sink gets first.
            if (events[j].kind == EventKind::Prerolled || events[j].kind == EventKind::Started) {
                cueTimes.push_back(events[j].at - events[i].at);
                break;
            }
        }
    }
}

}  // namespace

std::optional<LogLine> parseLogLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    const auto monotonic = numberOf<double>(nextWord(line));
    const std::string_view wallClock = nextWord(line);
    const std::string_view category = nextWord(line);
    if (!monotonic || wallClock.empty() || !category.starts_with("framelock.")) {
        return std::nullopt;
    }
    return LogLine{*monotonic, std::string(category), std::string(line)};
}

std::vector<Event> readEvents(std::istream& log) {
    std::vector<Event> events;
    std::string text;
    // The "Play" after an announced start signals no start of its own.
    bool announced = false;
    while (std::getline(log, text)) {
        if (const auto line = parseLogLine(text)) {
            if (const auto event = eventOf(*line)) {
                if (event->kind == EventKind::StartSignal && event->value == 0 && announced) {
                    announced = false;
                    continue;
                }
                if (event->kind == EventKind::StartSignal || event->kind == EventKind::CueSignal) {
                    announced = event->kind == EventKind::StartSignal && event->value == 1;
                }
                events.push_back(*event);
            }
        }
    }
    return events;
}

SyncReport analyze(const std::vector<Instance>& instances) {
    SyncReport report;
    if (instances.empty()) {
        return report;
    }
    for (const Instance& instance : instances) {
        collectCueTimes(instance.events, report.cueTimes);
    }
    std::vector<double> signals;
    for (const Event& event : instances[0].events) {
        if (event.kind == EventKind::StartSignal) {
            signals.push_back(event.at);
        }
    }
    const double never = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < signals.size(); ++k) {
        const double next = k + 1 < signals.size() ? signals[k + 1] : never;
        SegmentStart start;
        start.signal = signals[k];
        bool expectedKnown = false;
        if (const Event* cued = lastOf(instances[0].events, EventKind::Cued, signals[k])) {
            start.expectedFrame = cued->value - instances[0].inPoint;
            expectedKnown = true;
        }
        for (std::size_t i = 0; i < instances.size(); ++i) {
            const std::vector<Event>& events = instances[i].events;
            const Event* signal = i == 0 ? firstOf(events, EventKind::StartSignal, signals[k], next)
                                         : firstOf(events, EventKind::StartSignal,
                                                   signals[k] - kSignalSlack, next - kSignalSlack);
            const Event* started = nullptr;
            if (signal != nullptr) {
                const Event* following =
                    firstOf(events, EventKind::StartSignal, signal->at + 1e-9, never);
                started = firstOf(events, EventKind::Started, signal->at,
                                  following != nullptr ? following->at : never);
            }
            start.stillCueing.push_back(signal != nullptr && !cueDone(events, signal->at));
            if (started == nullptr) {
                start.startedAt.emplace_back();
                start.shownFrame.emplace_back();
                continue;
            }
            start.startedAt.emplace_back(started->at);
            start.shownFrame.emplace_back(started->value - instances[i].inPoint);
        }
        if (!expectedKnown && start.shownFrame[0]) {
            start.expectedFrame = *start.shownFrame[0];
        }
        double first = never;
        double last = -never;
        bool complete = true;
        for (std::size_t i = 0; i < instances.size(); ++i) {
            if (!start.startedAt[i]) {
                ++report.missing;
                complete = false;
                continue;
            }
            first = std::min(first, *start.startedAt[i]);
            last = std::max(last, *start.startedAt[i]);
            if (*start.shownFrame[i] != start.expectedFrame) {
                ++report.mismatches;
            }
            if (start.stillCueing[i] && i == 0) {
                ++report.masterStillCueing;
            } else if (start.stillCueing[i]) {
                ++report.stillCueing;
                report.lateness.push_back(*start.startedAt[i] - start.signal);
            }
        }
        if (complete) {
            report.skews.push_back(last - first);
        }
        report.starts.push_back(std::move(start));
    }
    return report;
}

Figures figuresOf(std::vector<double> values) {
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
    return Figures{median, values[std::clamp<std::size_t>(rank, 1, n) - 1], values.back()};
}

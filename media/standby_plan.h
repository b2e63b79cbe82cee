#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// A range of a flushing seek in stream time: from startNs, playing up to stopNs (-1: the end).
struct SeekRange {
    std::int64_t startNs = 0;
    std::int64_t stopNs = -1;
    bool operator==(const SeekRange&) const = default;
};

// What a graph knows about its media when it considers a second, standby pipeline.
struct StandbyConditions {
    bool hasVideo = false;
    bool savedGraph = false;
    bool countsFrames = false;
    std::optional<std::int64_t> availableKiB;  // none: unknown
};

// The standby's decisions, free of pipelines: whether a graph may have one, which range it is
// to prepare and which it was last sent to, the cue that waits for it, and when it has missed
// too many cues and when it is tried again.
// UI thread only, as the graph that owns it.
class StandbyPlan {
public:
    using Clock = std::chrono::steady_clock;

    // A prepared pipeline holds decoded frames and buffers: some 15 to 40 MB. Below this much
    // free memory the show keeps one pipeline rather than push the machine into swapping.
    static constexpr std::int64_t MinAvailableKiB = 256 * 1024;
    static constexpr int MaxMisses = 3;

    // A standby given up for now is tried again this long after; each give-up in a row doubles
    // the time, up to MaxRetryFactor times as long.
    static constexpr int MaxRetryFactor = 16;
    explicit StandbyPlan(Clock::duration retryAfter = std::chrono::minutes(1))
        : retryAfter_(retryAfter) {}

    // Why such media cannot have a standby now; forGood unless it may pass (memory short).
    struct Refusal {
        const char* why;
        bool forGood;
    };
    static std::optional<Refusal> refusal(const StandbyConditions& conditions);

    // Once refused for good, the graph keeps one pipeline.
    bool refused() const { return refused_; }
    void refuse() { refused_ = true; }
    // Given up for now: a passing load spike must not cost a show that runs for weeks its
    // standby until the file is opened again.
    void giveUp(Clock::time_point now);
    bool mayTry(Clock::time_point now) const {
        return !refused_ && (giveUps_ == 0 || now >= retryAt_);
    }
    // Whether the standby was given up before and is now tried again.
    bool retrying() const { return giveUps_ > 0; }
    Clock::duration retryDelay() const;

    // Names the range to prepare; false when it was named already. While a cue waits, the range
    // is kept for after it: the standby must not leave the cued range half-way.
    bool setNext(const SeekRange& range);
    void clearNext();
    bool prepares(const SeekRange& range) const { return next_ == range; }
    bool hasNext() const { return next_.has_value(); }

    // The range the standby is to be sent to now, if any. A preparation under way is not
    // flushed half-way: that costs the same decoding again.
    std::optional<SeekRange> seekDue(bool settled) const;
    void sentTo(const std::optional<SeekRange>& range) { sought_ = range; }
    // Whether the standby's latest seek went to the range named next.
    bool soughtNext() const { return sought_ && sought_ == next_; }
    const std::optional<SeekRange>& sought() const { return sought_; }

    // A new standby: nothing sought, no misses.
    void restart();
    // The standby went: nothing prepared or sought. A cue still held is the graph's to finish,
    // by seeking.
    void forget();

    // The standby was ready at a cue.
    void hit();
    // It was not; true when it missed MaxMisses cues in a row and is to be given up.
    bool miss() { return ++misses_ >= MaxMisses; }

    // A cue of the prepared range waits for the standby to get there.
    void holdCue(const SeekRange& range);
    const std::optional<SeekRange>& heldCue() const { return held_; }
    // The held cue is done (swapped or sought) or superseded: the range it held is consumed,
    // and the range named meanwhile, if any, is the one to prepare.
    void releaseCue();
    // A newer cue came: the range named meanwhile, if any, replaces the one held.
    void supersedeCue();

private:
    const Clock::duration retryAfter_;
    int giveUps_ = 0;  // in a row; retryAt_ counts only after one
    Clock::time_point retryAt_{};
    std::optional<SeekRange> held_;
    // Named while a cue was held: the range, or none for a cleared one.
    std::optional<std::optional<SeekRange>> namedMeanwhile_;
    bool refused_ = false;
    std::optional<SeekRange> next_;
    std::optional<SeekRange> sought_;
    int misses_ = 0;
};

#pragma once

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
// to prepare and which it was last sent to, and when it has missed too many cues.
// UI thread only, as the graph that owns it.
class StandbyPlan {
public:
    // A prepared pipeline holds decoded frames and buffers: some 15 to 40 MB. Below this much
    // free memory the show keeps one pipeline rather than push the machine into swapping.
    static constexpr std::int64_t MinAvailableKiB = 256 * 1024;
    static constexpr int MaxMisses = 3;

    // Why such media cannot have a standby, or nullptr when it can.
    static const char* refusal(const StandbyConditions& conditions);

    // Once refused, the graph keeps one pipeline.
    bool refused() const { return refused_; }
    void refuse() { refused_ = true; }

    // Names the range to prepare; false when it was named already.
    bool setNext(const SeekRange& range);
    void clearNext() { next_.reset(); }
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
    // The standby went: nothing prepared or sought.
    void forget();

    // The standby was ready at a cue.
    void hit() { misses_ = 0; }
    // It was not; true when it missed MaxMisses cues in a row and is to be given up.
    bool miss() { return ++misses_ >= MaxMisses; }

private:
    bool refused_ = false;
    std::optional<SeekRange> next_;
    std::optional<SeekRange> sought_;
    int misses_ = 0;
};

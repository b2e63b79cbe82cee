#pragma once

#include <cstdint>
#include <deque>
#include <optional>

// Judges each answer of the Master's clock server before the shared clock learns from it.
//
// An answer that took much longer than the recent best tells the offset badly and is skipped.
// An offset far from the agreed one is held back: alone it is noise or a stray packet, but a
// second one that agrees with it means the Master's clock stepped (a restart on a rebooted or
// another machine, a clock set anew). The clock that learnt the old offset cannot follow then,
// since a clock never runs backwards: a step back would stand it still for as long as the step,
// and a step forward would race every picture to catch up. So a step asks for a new clock.
class ClockSamples {
public:
    enum class Verdict { Take, Skip, Stepped };

    // offsetNs: the server's time minus the local time at the middle of the round trip.
    Verdict judge(std::int64_t offsetNs, std::int64_t roundTripNs);
    // The offset of the last answer taken, and the size of the last step.
    std::optional<std::int64_t> offsetNs() const { return offset_; }
    std::int64_t lastStepNs() const { return lastStepNs_; }

    // Farther than this from the agreed offset is a step; a frame's worth of network delay on
    // a loaded machine stays well inside.
    static constexpr std::int64_t StepNs = 200'000'000;

private:
    std::deque<std::int64_t> roundTrips_;
    std::optional<std::int64_t> offset_;
    std::optional<std::int64_t> disagreeing_;
    std::int64_t lastStepNs_ = 0;
};

#include "media/clock_samples.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::size_t RoundTripWindow = 16;
constexpr std::int64_t MaxRoundTripNs = 500'000'000;
constexpr std::int64_t RoundTripSlackNs = 2'000'000;

bool near(std::int64_t a, std::int64_t b) {
    return std::llabs(a - b) <= ClockSamples::StepNs;
}

}  // namespace

ClockSamples::Verdict ClockSamples::judge(std::int64_t offsetNs, std::int64_t roundTripNs) {
    roundTrips_.push_back(roundTripNs);
    if (roundTrips_.size() > RoundTripWindow) {
        roundTrips_.pop_front();
    }
    const std::int64_t best = *std::min_element(roundTrips_.begin(), roundTrips_.end());
    if (roundTripNs < 0 || roundTripNs > MaxRoundTripNs ||
        roundTripNs > std::max(3 * best, best + RoundTripSlackNs)) {
        return Verdict::Skip;
    }
    if (!offset_ || near(offsetNs, *offset_)) {
        offset_ = offsetNs;
        disagreeing_.reset();
        return Verdict::Take;
    }
    if (disagreeing_ && near(offsetNs, *disagreeing_)) {
        lastStepNs_ = offsetNs - *offset_;
        offset_ = offsetNs;
        disagreeing_.reset();
        return Verdict::Stepped;
    }
    disagreeing_ = offsetNs;
    return Verdict::Skip;
}

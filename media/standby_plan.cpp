#include "media/standby_plan.h"

#include <utility>

std::optional<StandbyPlan::Refusal> StandbyPlan::refusal(const StandbyConditions& conditions) {
    if (!conditions.hasVideo) {
        return Refusal{"the media has no video", true};
    }
    if (conditions.savedGraph) {
        return Refusal{"a saved graph plays as written", true};
    }
    if (!conditions.countsFrames) {
        return Refusal{"the video cannot count frames", true};
    }
    if (!conditions.availableKiB || *conditions.availableKiB < MinAvailableKiB) {
        return Refusal{"memory is short", false};
    }
    return std::nullopt;
}

void StandbyPlan::giveUp(Clock::time_point now) {
    ++giveUps_;
    retryAt_ = now + retryDelay();
    forget();
}

StandbyPlan::Clock::duration StandbyPlan::retryDelay() const {
    int factor = 1;
    for (int i = 1; i < giveUps_ && factor < MaxRetryFactor; ++i) {
        factor *= 2;
    }
    return retryAfter_ * factor;
}

void StandbyPlan::hit() {
    misses_ = 0;
    giveUps_ = 0;
}

bool StandbyPlan::setNext(const SeekRange& range) {
    if (held_) {
        namedMeanwhile_ = range;
        return false;
    }
    if (next_ == range) {
        return false;
    }
    next_ = range;
    return true;
}

void StandbyPlan::clearNext() {
    if (held_) {
        namedMeanwhile_ = std::optional<SeekRange>();
        return;
    }
    next_.reset();
}

std::optional<SeekRange> StandbyPlan::seekDue(bool settled) const {
    if (!next_ || next_ == sought_ || !settled) {
        return std::nullopt;
    }
    return next_;
}

void StandbyPlan::restart() {
    sought_.reset();
    misses_ = 0;
}

void StandbyPlan::forget() {
    next_.reset();
    sought_.reset();
}

void StandbyPlan::holdCue(const SeekRange& range) {
    held_ = range;
    namedMeanwhile_.reset();
}

void StandbyPlan::releaseCue() {
    held_.reset();
    next_ = std::exchange(namedMeanwhile_, std::nullopt).value_or(std::nullopt);
}

void StandbyPlan::supersedeCue() {
    held_.reset();
    if (namedMeanwhile_) {
        next_ = *std::exchange(namedMeanwhile_, std::nullopt);
    }
}

#include "media/standby_plan.h"

const char* StandbyPlan::refusal(const StandbyConditions& conditions) {
    if (!conditions.hasVideo) {
        return "the media has no video";
    }
    if (conditions.savedGraph) {
        return "a saved graph plays as written";
    }
    if (!conditions.countsFrames) {
        return "the video cannot count frames";
    }
    if (!conditions.availableKiB || *conditions.availableKiB < MinAvailableKiB) {
        return "memory is short";
    }
    return nullptr;
}

bool StandbyPlan::setNext(const SeekRange& range) {
    if (next_ == range) {
        return false;
    }
    next_ = range;
    return true;
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

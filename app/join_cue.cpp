#include "app/join_cue.h"

std::optional<JoinCue> joinCue(const JoinOrder& order, std::int64_t nowNs, std::int64_t leadNs,
                               std::int64_t frameNs) {
    if (frameNs <= 0) {
        return std::nullopt;
    }
    // Frames before the order's one are not the show's to date: the order is from the future or
    // the clocks disagree, and nothing sound can be cued. The order comes from the wire: a sum
    // that leaves the 64-bit range places nothing either.
    std::int64_t due = 0;
    std::int64_t elapsed = 0;
    if (__builtin_add_overflow(nowNs, leadNs, &due) ||
        __builtin_sub_overflow(due, order.shownAtNs, &elapsed) || elapsed < 0) {
        return std::nullopt;
    }
    const std::int64_t framesOn = elapsed / frameNs;
    std::int64_t frame = 0;
    std::int64_t framesToNext = 0;
    std::int64_t toNextNs = 0;
    std::int64_t nextShownAtNs = 0;
    if (__builtin_add_overflow(order.frameFromIn, framesOn, &frame) ||
        __builtin_add_overflow(framesOn, 1, &framesToNext) ||
        __builtin_mul_overflow(framesToNext, frameNs, &toNextNs) ||
        __builtin_add_overflow(order.shownAtNs, toNextNs, &nextShownAtNs)) {
        return std::nullopt;
    }
    return JoinCue{frame, nextShownAtNs};
}

bool onShowFrame(const JoinOrder& order, std::int64_t nowNs, std::int64_t frameNs,
                 std::int64_t shownFromIn) {
    const std::optional<JoinCue> current = joinCue(order, nowNs, 0, frameNs);
    std::int64_t apart = 0;
    return current && !__builtin_sub_overflow(current->frameFromIn, shownFromIn, &apart) &&
           apart >= -1 && apart <= 1;
}

bool joinDisagreesWithClock(const JoinOrder& order, std::int64_t nowNs, std::int64_t frameNs,
                            std::int64_t outFromIn, std::int64_t skewNs) {
    if (frameNs <= 0) {
        return false;
    }
    std::int64_t ahead = 0;
    if (__builtin_sub_overflow(order.shownAtNs, nowNs, &ahead) || ahead > skewNs) {
        return true;
    }
    const std::optional<JoinCue> current = joinCue(order, nowNs, 0, frameNs);
    return current && current->frameFromIn > outFromIn + skewNs / frameNs;
}

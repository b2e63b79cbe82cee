#pragma once

#include <cstdint>
#include <limits>

// Conversions between frame numbers and the media service's time units.
// unitsPerFrame is 1 (the service counts frames) or 400000 (100-ns units at 25 frames a second).

// frame × unitsPerFrame, saturated at the ends of the 64-bit range: a frame number that came
// from the wire must never overflow into a position on the other side of zero.
constexpr std::int64_t mediaTimeOfFrame(std::int64_t frame, std::int32_t unitsPerFrame) {
    std::int64_t result = 0;
    if (__builtin_mul_overflow(frame, static_cast<std::int64_t>(unitsPerFrame), &result)) {
        return (frame < 0) != (unitsPerFrame < 0) ? std::numeric_limits<std::int64_t>::min()
                                                  : std::numeric_limits<std::int64_t>::max();
    }
    return result;
}

// mediaTime ÷ unitsPerFrame, truncated toward zero.
constexpr std::int64_t frameOfMediaTime(std::int64_t mediaTime, std::int32_t unitsPerFrame) {
    return mediaTime / unitsPerFrame;
}

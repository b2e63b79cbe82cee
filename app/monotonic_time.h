#pragma once

#include <chrono>
#include <cstdint>

namespace monotonic_time {
// A clock a test puts in place of the steady clock (nullptr: the steady clock), so that what
// happens per second can be driven second by second instead of waited for.
inline std::int64_t (*testClock)() = nullptr;
}  // namespace monotonic_time

// Milliseconds of the steady clock, for intervals and rates within one process; it says nothing
// about the time of day.
inline std::int64_t monotonicMs() {
    if (monotonic_time::testClock != nullptr) {
        return monotonic_time::testClock();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

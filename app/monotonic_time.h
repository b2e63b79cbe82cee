#pragma once

#include <chrono>
#include <cstdint>

// Milliseconds of the steady clock, for intervals and rates within one process; it says nothing
// about the time of day.
inline std::int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

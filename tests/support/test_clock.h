#pragma once

#include "app/monotonic_time.h"

#include <cstdint>

// The program's monotonic clock stood still for the helper's life: what the program does per
// second is driven second by second with advance(), not waited for. One at a time.
class TestClock {
public:
    explicit TestClock(std::int64_t startMs = 1'000'000) {
        nowMs_ = startMs;
        monotonic_time::testClock = [] { return nowMs_; };
    }
    ~TestClock() { monotonic_time::testClock = nullptr; }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    void advance(std::int64_t ms) { nowMs_ += ms; }

private:
    static inline std::int64_t nowMs_ = 0;
};

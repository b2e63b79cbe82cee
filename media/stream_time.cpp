#include "media/stream_time.h"

#include <algorithm>
#include <limits>

namespace stream_time {
namespace {

// Frame numbers times nanoseconds per second times a 32-bit denominator overflow 64 bits for
// clips of a few days; 128 bits never do.
__extension__ typedef __int128 Wide;

constexpr std::int64_t NsPerSecond = 1'000'000'000;
constexpr std::int64_t Margin = 1'000'000;  // 1 ms, at most a quarter frame

std::int64_t marginFor(FrameRate rate) {
    const std::int64_t quarterFrame = NsPerSecond * rate.denominator / rate.numerator / 4;
    return std::min(Margin, quarterFrame);
}

constexpr std::int64_t Latest = std::numeric_limits<std::int64_t>::max();

std::int64_t saturated(Wide value) {
    return value > Latest ? Latest : static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t frameStart(std::int64_t frame, FrameRate rate) {
    const Wide f = std::max<std::int64_t>(frame, 0);
    return saturated(f * NsPerSecond * rate.denominator / rate.numerator);
}

std::int64_t seekTarget(std::int64_t frame, FrameRate rate) {
    return saturated(Wide{frameStart(frame, rate)} + marginFor(rate));
}

std::int64_t fromHundredNs(std::int64_t units) {
    return saturated(Wide{std::max<std::int64_t>(units, 0)} * 100);
}

std::int64_t stopTarget(std::int64_t frame, FrameRate rate) {
    if (frame <= 0) {
        return 0;
    }
    return frameStart(frame, rate) - marginFor(rate);
}

std::int64_t frameAt(std::int64_t ns, FrameRate rate) {
    const Wide t = std::max<std::int64_t>(ns, 0);
    return static_cast<std::int64_t>(t * rate.numerator / (Wide{NsPerSecond} * rate.denominator));
}

std::int64_t framesIn(std::int64_t ns, FrameRate rate) {
    const Wide t = std::max<std::int64_t>(ns, 0);
    const Wide unit = Wide{NsPerSecond} * rate.denominator;
    return static_cast<std::int64_t>((t * rate.numerator + unit / 2) / unit);
}

}  // namespace stream_time

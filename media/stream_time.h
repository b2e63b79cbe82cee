#pragma once

#include <cstdint>

// A video stream's frame rate as the exact fraction the container declares (30000/1001, not
// 29.97). Unknown when either part is not positive.
struct FrameRate {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;

    bool known() const { return numerator > 0 && denominator > 0; }
};

// Mapping between frame numbers and stream time in nanoseconds. Frame F starts at
// floor(F * 1e9 * denominator / numerator), which is where muxers put it too. Stored timestamps
// may still be a nanosecond or a timescale tick off, so positions that must select a frame keep
// a small margin inside it. Every function needs a known rate; negative frames count as 0, and
// times past the 64-bit range saturate at its end (frame numbers come from the wire).
namespace stream_time {

std::int64_t frameStart(std::int64_t frame, FrameRate rate);

// Where a seek to `frame` lands: just inside the frame, so it is the one shown.
std::int64_t seekTarget(std::int64_t frame, FrameRate rate);

// Where a range that ends before `frame` stops: just inside the last frame played, so that
// frame is rendered and `frame` itself is not.
std::int64_t stopTarget(std::int64_t frame, FrameRate rate);

// The frame on screen at stream time `ns`.
std::int64_t frameAt(std::int64_t ns, FrameRate rate);

// The number of frames in a stream lasting `ns`, to the nearest frame.
std::int64_t framesIn(std::int64_t ns, FrameRate rate);

// Nanoseconds of a time in units of 100 ns, for media that cannot count frames.
std::int64_t fromHundredNs(std::int64_t units);

}  // namespace stream_time

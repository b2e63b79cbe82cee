#pragma once

#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// Frame arithmetic of the Sync point list. Sync points are offsets from the instance's own In
// point, held as the decimal texts of the list box; the last one is the Out point. Frames are
// signed 64-bit and every sum saturates instead of wrapping.

struct FrameRange {
    std::int64_t start = 0;
    std::int64_t stop = 0;
    bool operator==(const FrameRange&) const = default;
};

std::int64_t addFrames(std::int64_t a, std::int64_t b);

// The list's items as numbers; an item that is not a whole decimal 32-bit number (possible only
// from an edited settings file) has no value and is skipped when segments are computed.
std::vector<std::optional<std::int32_t>> parseSyncPoints(const QStringList& items);

// A first Sync point at the In point itself would make an empty first segment, so segment 0 of
// a list whose first item is 0 is the segment that ends at item 1.
int effectiveSegmentIndex(const QStringList& items, int selection);

// The frames of segment `index` (already effective): from the In point or the previous Sync
// point to this one; with an empty list from the In point to the end of the media. No range
// when the index names no item of a non-empty list.
std::optional<FrameRange> segmentRange(const QStringList& items, int index, std::int32_t inPoint,
                                       std::int64_t durationFrames);

// The range the show cues after the list item `selection` (-1: none selected): the next item's
// segment, or after the last one with `loop` the first segment again (with an empty list the
// whole media from the In point). None when the show ends there.
std::optional<FrameRange> nextSegmentRange(const QStringList& items, int selection, bool loop,
                                           std::int32_t inPoint, std::int64_t durationFrames);

// True when the list's first item is the number 0.
bool listStartsAtInPoint(const QStringList& items);

// The frame the position bar (0 to 1000, per mille of the duration) stands for, and back; both
// round to the nearest integer, ties to even.
int positionBarValue(std::int64_t frame, std::int64_t durationFrames);
std::int64_t frameOfPositionBar(int position, std::int64_t durationFrames);

// The last frame of media of `durationFrames` frames; 0 for media without frames.
std::int64_t lastFrame(std::int64_t durationFrames);
// 0 .. the last frame: a seek to the end itself shows nothing and completes at once.
std::int64_t clampFrame(std::int64_t frame, std::int64_t durationFrames);
// Stepping wraps around: past the last frame to 0, before 0 to the last frame.
std::int64_t stepTarget(std::int64_t current, std::int64_t count, std::int64_t durationFrames);

// A segment's range as media of `durationFrames` frames can play it. A range that starts at or
// after the end has nothing to show and holds the last frame; one that stops after the end
// stops there. Either means Sync points or an In point that do not fit the media. A range never
// starts before frame 0 nor stops before it starts.
struct FittedRange {
    FrameRange range;
    bool startsPastEnd = false;
    bool stopsPastEnd = false;
};
FittedRange fitToMedia(const FrameRange& range, std::int64_t durationFrames);

// How many frames of the file the show cues: up to the In point plus the highest Sync point;
// with none, the In point's own frame.
std::int64_t framesCued(const QStringList& items, std::int32_t inPoint);

// The first segment's range, where a loop goes back to.
std::optional<FrameRange> firstSegmentRange(const QStringList& items, std::int32_t inPoint,
                                            std::int64_t durationFrames);

// "Pos " carries the position as an offset from the sender's In point; the receiver adds its
// own In point.
std::int64_t offsetFromIn(std::int64_t frame, std::int32_t inPoint);
std::int64_t frameFromOffset(std::int32_t inPoint, std::int64_t offset);

// The frame box's text as a Sync point: the frame minus the In point, when both are 32-bit
// numbers and the difference is one.
std::optional<std::int32_t> relativeToIn(const QString& frameText, std::int32_t inPoint);

// Where "Set Sync" inserts `value`: right after the selection (at the top with nothing
// selected), provided it lies strictly between the selected item (or -1) and the item after it
// (or the largest 32-bit number). No row when it does not.
std::optional<int> syncPointInsertRow(const QStringList& items, int selection, std::int32_t value);

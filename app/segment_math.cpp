#include "app/segment_math.h"

#include "app/sync_command.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int32_t kMaxSyncPoint = std::numeric_limits<std::int32_t>::max();

// The nearest item with a value before `index`, or none.
std::optional<std::int32_t> valueBefore(const std::vector<std::optional<std::int32_t>>& points,
                                        int index) {
    for (int i = std::min<int>(index, static_cast<int>(points.size())) - 1; i >= 0; --i) {
        if (points[i]) {
            return points[i];
        }
    }
    return std::nullopt;
}

// The item at `index` if it has a value, else the nearest one after it, or none.
std::optional<std::int32_t> valueFrom(const std::vector<std::optional<std::int32_t>>& points,
                                      int index) {
    for (int i = std::max(index, 0); i < static_cast<int>(points.size()); ++i) {
        if (points[i]) {
            return points[i];
        }
    }
    return std::nullopt;
}

}  // namespace

std::int64_t addFrames(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

std::vector<std::optional<std::int32_t>> parseSyncPoints(const QStringList& items) {
    std::vector<std::optional<std::int32_t>> points;
    points.reserve(static_cast<std::size_t>(items.size()));
    for (const QString& item : items) {
        points.push_back(parseDecimal32(item.toLatin1()));
    }
    return points;
}

bool listStartsAtInPoint(const QStringList& items) {
    return !items.isEmpty() && parseDecimal32(items.first().toLatin1()) == 0;
}

int effectiveSegmentIndex(const QStringList& items, int selection) {
    return selection == 0 && listStartsAtInPoint(items) ? 1 : selection;
}

std::optional<FrameRange> segmentRange(const QStringList& items, int index, std::int32_t inPoint,
                                       std::int64_t durationFrames) {
    if (items.isEmpty()) {
        return FrameRange{inPoint, durationFrames};
    }
    if (index < 0 || index >= items.size()) {
        return std::nullopt;
    }
    const auto points = parseSyncPoints(items);
    const std::optional<std::int32_t> previous = index > 0 ? valueBefore(points, index) : 0;
    const std::optional<std::int32_t> stop = valueFrom(points, index);
    FrameRange range;
    range.start = addFrames(inPoint, previous.value_or(0));
    range.stop = stop ? addFrames(inPoint, *stop) : durationFrames;
    return range;
}

std::int64_t framesCued(const QStringList& items, std::int32_t inPoint) {
    std::int64_t highest = 1;
    for (const std::optional<std::int32_t>& point : parseSyncPoints(items)) {
        if (point) {
            highest = std::max<std::int64_t>(highest, *point);
        }
    }
    return addFrames(inPoint, highest);
}

std::optional<FrameRange> nextSegmentRange(const QStringList& items, int selection, bool loop,
                                           std::int32_t inPoint, std::int64_t durationFrames) {
    int next = std::max(selection, -1) + 1;
    if (next >= items.size()) {
        if (!loop) {
            return std::nullopt;
        }
        next = 0;
    }
    return segmentRange(items, effectiveSegmentIndex(items, next), inPoint, durationFrames);
}

int positionBarValue(std::int64_t frame, std::int64_t durationFrames) {
    if (durationFrames <= 0) {
        return 0;
    }
    const double value =
        std::nearbyint(static_cast<double>(frame) * 1000.0 / static_cast<double>(durationFrames));
    return static_cast<int>(std::clamp(value, 0.0, 1000.0));
}

std::int64_t frameOfPositionBar(int position, std::int64_t durationFrames) {
    const double frame = std::nearbyint(static_cast<double>(position) / 1000.0 *
                                        static_cast<double>(durationFrames));
    // Within 64 bits whatever the duration: the bar's range is 0 to 1000.
    if (frame >= 0x1p63) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return frame < -0x1p63 ? std::numeric_limits<std::int64_t>::min()
                           : static_cast<std::int64_t>(frame);
}

std::int64_t lastFrame(std::int64_t durationFrames) {
    return durationFrames > 0 ? durationFrames - 1 : 0;
}

std::int64_t clampFrame(std::int64_t frame, std::int64_t durationFrames) {
    return std::clamp<std::int64_t>(frame, 0, lastFrame(durationFrames));
}

std::int64_t stepTarget(std::int64_t current, std::int64_t count, std::int64_t durationFrames) {
    const std::int64_t last = lastFrame(durationFrames);
    std::int64_t target = 0;
    if (__builtin_add_overflow(current, count, &target)) {
        return count > 0 ? 0 : last;
    }
    if (target > last) {
        return 0;
    }
    return target < 0 ? last : target;
}

FittedRange fitToMedia(const FrameRange& range, std::int64_t durationFrames) {
    FittedRange fitted{range};
    // Sync points from a link may lie before the In point or run backwards: the media is given
    // no position before its first frame, and a range that stops before it starts is empty.
    fitted.range.start = std::max<std::int64_t>(range.start, 0);
    const std::int64_t end = std::max<std::int64_t>(durationFrames, 0);
    if (fitted.range.start >= end) {
        fitted.startsPastEnd = true;
        fitted.range.start = lastFrame(durationFrames);
    }
    if (range.stop > end) {
        fitted.stopsPastEnd = true;
        fitted.range.stop = end;
    }
    if (fitted.startsPastEnd) {
        fitted.range.stop = end;
    }
    fitted.range.stop = std::max(fitted.range.stop, fitted.range.start);
    return fitted;
}

std::optional<FrameRange> firstSegmentRange(const QStringList& items, std::int32_t inPoint,
                                            std::int64_t durationFrames) {
    return segmentRange(items, effectiveSegmentIndex(items, 0), inPoint, durationFrames);
}

std::int64_t offsetFromIn(std::int64_t frame, std::int32_t inPoint) {
    return addFrames(frame, -static_cast<std::int64_t>(inPoint));
}

std::int64_t frameFromOffset(std::int32_t inPoint, std::int64_t offset) {
    return addFrames(inPoint, offset);
}

std::optional<std::int32_t> relativeToIn(const QString& frameText, std::int32_t inPoint) {
    const std::optional<std::int32_t> frame = parseDecimal32(frameText.trimmed().toLatin1());
    if (!frame) {
        return std::nullopt;
    }
    const std::int64_t value = static_cast<std::int64_t>(*frame) - inPoint;
    if (value < std::numeric_limits<std::int32_t>::min() || value > kMaxSyncPoint) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<int> syncPointInsertRow(const QStringList& items, int selection, std::int32_t value) {
    const auto points = parseSyncPoints(items);
    const bool selected = selection >= 0 && selection < items.size();
    const std::int64_t lower = selected ? valueBefore(points, selection + 1).value_or(-1) : -1;
    const std::int64_t upper =
        valueFrom(points, selected ? selection + 1 : 0).value_or(kMaxSyncPoint);
    if (lower < value && value < upper) {
        return selected ? selection + 1 : 0;
    }
    return std::nullopt;
}

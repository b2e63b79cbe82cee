#include "app/player_facts.h"

#include "app/segment_math.h"
#include "app/slave_status_reporter.h"
#include "media/graph_player.h"
#include "media/stream_time.h"

std::pair<std::int64_t, std::int64_t> statusRate(const TGraphPlayer& player) {
    const FrameRate rate = player.VideoFrameRate();
    if (rate.known()) {
        return {rate.numerator, rate.denominator};
    }
    return player.FrameUnit() == 1 ? std::pair<std::int64_t, std::int64_t>{0, 1}
                                   : std::pair<std::int64_t, std::int64_t>{25, 1};
}

std::optional<std::int64_t> shownFrame(const TGraphPlayer& player, std::int32_t inPoint) {
    const std::optional<std::int64_t> shown = player.ShownPicture();
    const FrameRate rate = player.VideoFrameRate();
    if (!shown || !rate.known()) {
        return std::nullopt;
    }
    return stream_time::frameAt(*shown, rate) - inPoint;
}

std::optional<std::int64_t> pictureStartedAtMs(TGraphPlayer& player, std::int64_t startFrameInFile,
                                               std::int64_t nowMs) {
    const auto [numerator, denominator] = statusRate(player);
    const std::int64_t frame = player.CurrentFrame();
    if (frame <= startFrameInFile) {
        return std::nullopt;
    }
    return pictureStartMs(nowMs, frame - startFrameInFile, numerator, denominator);
}

std::int64_t loopStartInFile(TGraphPlayer& player, const ShowModel& model) {
    const std::optional<FrameRange> first =
        firstSegmentRange(model.syncPoints, model.inPoint, player.DurationFrames());
    return first ? first->start : player.CurrentFrame();
}

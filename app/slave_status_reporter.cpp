#include "app/slave_status_reporter.h"

#include <cmath>

std::vector<QByteArray> StatusReporter::changes(const StatusMedia& media, const StatusPlay& play,
                                                const StatusError& error) {
    std::vector<QByteArray> out;
    if (media_ != media) {
        media_ = media;
        out.push_back(buildStatus(media));
    }
    if (!play_ || !play_->sameStateAs(play)) {
        play_ = play;
        out.push_back(buildStatus(play));
    }
    if (error_ != error) {
        error_ = error;
        out.push_back(buildStatus(error));
    }
    return out;
}

std::optional<QByteArray> StatusReporter::beat(StatusBeat beat, std::int64_t nowMs) {
    if (beatAtMs_ && nowMs - *beatAtMs_ < BeatEveryMs) {
        return std::nullopt;
    }
    beatAtMs_ = nowMs;
    if (play_) {
        const std::int64_t sentAtMs = beat.play.sentAtMs;
        beat.play = *play_;
        beat.play.sentAtMs = sentAtMs;
    }
    return buildStatus(beat);
}

void StatusReporter::reset() {
    beatAtMs_.reset();
    media_.reset();
    play_.reset();
    error_.reset();
}

std::optional<std::int64_t> pictureStartMs(std::int64_t sampleMs, std::int64_t framesPlayed,
                                           std::int64_t rateNumerator,
                                           std::int64_t rateDenominator) {
    if (rateNumerator <= 0 || rateDenominator <= 0) {
        return std::nullopt;
    }
    const double playedMs = static_cast<double>(framesPlayed) * 1000.0 *
                            static_cast<double>(rateDenominator) /
                            static_cast<double>(rateNumerator);
    return sampleMs - static_cast<std::int64_t>(std::llround(playedMs));
}

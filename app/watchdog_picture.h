#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Whether the picture moves while it should: the part of an instance's health that a running
// event loop alone does not show. While the player plays, the frame the video sink shows must
// change within `stallMs`; a paused, stopped or ended player may hold one frame for ever.
class PictureWatch {
public:
    struct Sample {
        // The player runs and has not reached the end of its range.
        bool shouldAdvance = false;
        // What the sink shows (its time stamp); nothing when that cannot be told (no video).
        std::optional<std::int64_t> shown;
    };

    explicit PictureWatch(std::int64_t stallMs) : stallMs_(stallMs) {}

    // Takes the sample of time `nowMs`; false once the picture stood still too long while it
    // should have moved, until it moves again.
    bool healthy(std::int64_t nowMs, const Sample& sample);
    // Why the last sample was not healthy, for the log.
    QString reason() const;

private:
    std::int64_t stallMs_;
    std::optional<std::int64_t> last_;
    std::int64_t since_ = 0;
    bool watching_ = false;
};

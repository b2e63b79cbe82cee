#pragma once

#include "app/show_model.h"

#include <cstdint>
#include <optional>
#include <utility>

class TGraphPlayer;

// What the status side reads off the player, the same for a Master and a Slave.

// The rate positions count in, as a fraction: the picture's, or for sound alone 40-ms units (25
// to the second); 0/1 when the media counts in frames and its rate is not known.
std::pair<std::int64_t, std::int64_t> statusRate(const TGraphPlayer& player);
// The frame the screen shows, counted from the In point; none before a picture or rate is known.
std::optional<std::int64_t> shownFrame(const TGraphPlayer& player, std::int32_t inPoint);
// When the picture started from startFrameInFile, on the wall clock, read off where the player
// stands at nowMs. None for an unknown rate, and none while it has not passed the start: the
// picture has not moved yet, or the segment was shorter than the wait for the sample and has
// ended, so the position tells nothing.
std::optional<std::int64_t> pictureStartedAtMs(TGraphPlayer& player, std::int64_t startFrameInFile,
                                               std::int64_t nowMs);
// Where a loop goes back to: the first segment's start, or where the media stands when the list
// gives none (the position read at once may still be the old one, before the seek).
std::int64_t loopStartInFile(TGraphPlayer& player, const ShowModel& model);

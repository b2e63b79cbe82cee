#pragma once

#include "app/sync_command.h"

#include <cstdint>
#include <optional>

// Where a Slave joins a show that plays: the frame current `leadNs` after `nowNs` (so that it
// can be cued meanwhile), and when the frame after it appears. Frames follow at `frameNs` from
// the order's frame on.
struct JoinCue {
    std::int64_t frameFromIn = 0;
    std::int64_t nextShownAtNs = 0;
};
std::optional<JoinCue> joinCue(const JoinOrder& order, std::int64_t nowNs, std::int64_t leadNs,
                               std::int64_t frameNs);

// Whether a Slave that shows frame `shownFromIn` now is on the show's frame, one frame either
// side for the moment its position was read: such a Slave is in step and is not cued again.
bool onShowFrame(const JoinOrder& order, std::int64_t nowNs, std::int64_t frameNs,
                 std::int64_t shownFromIn);

// Whether a join order cannot come from a Master whose clock agrees with this one: the frame it
// names is shown more than `skewNs` from now in the future, or the show it describes would by now
// be more than `skewNs` past its Out point `outFromIn`, where no Master plays.
bool joinDisagreesWithClock(const JoinOrder& order, std::int64_t nowNs, std::int64_t frameNs,
                            std::int64_t outFromIn, std::int64_t skewNs);

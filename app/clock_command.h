#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

// The commands of the shared clock. An instance that does not know them ignores them, as the
// command table ignores every unknown code, and starts at "Play" as before; their arguments are
// decimal numbers and commas, so they never break an older receiver's framing.
namespace ClockCode {
// The time on the shared clock, in ns, at which the frame after the cued one appears.
inline constexpr char StartAt[] = "PlAt";
// To a Slave joining while the show plays: segment, frame (from the In point) and the time on
// the shared clock at which that frame appeared.
inline constexpr char Join[] = "Join";
}  // namespace ClockCode

struct JoinOrder {
    std::int32_t segment = 0;
    std::int64_t frameFromIn = 0;
    std::int64_t shownAtNs = 0;
    bool operator==(const JoinOrder&) const = default;
};

QByteArray startAtCommand(std::int64_t sharedTimeNs);
QByteArray joinCommand(const JoinOrder& order);

class ClockCommandTarget {
public:
    virtual ~ClockCommandTarget() = default;
    virtual void commandStartAt(std::int64_t sharedTimeNs) = 0;
    virtual void commandJoin(const JoinOrder& order) = 0;
    virtual void commandRefused(QByteArrayView command) = 0;
};

// Runs a clock command on target; false for any other code.
bool dispatchClockCommand(QByteArrayView command, ClockCommandTarget& target);

// Where a Slave joins a show that plays: the frame current `leadNs` after `nowNs` (so that it
// can be cued meanwhile), and when the frame after it appears. Frames follow at `frameNs` from
// the order's frame on.
struct JoinCue {
    std::int64_t frameFromIn = 0;
    std::int64_t nextShownAtNs = 0;
};
std::optional<JoinCue> joinCue(const JoinOrder& order, std::int64_t nowNs, std::int64_t leadNs,
                               std::int64_t frameNs);

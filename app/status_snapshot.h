#pragma once

#include "app/show_status.h"
#include "app/slave_status_board.h"
#include "app/status_line.h"

#include <QString>
#include <cstdint>
#include <map>

// A Slave that beats and has not been heard for this long is not responding: three heartbeats
// missed.
inline constexpr std::int64_t NotRespondingMs = 3000;

// How a Slave is doing at nowMs (the Master's monotonic clock). Silence counts only for a Slave
// that beats: an older one reports on change alone.
ScreenHealth slaveHealth(const SlaveStatus& slave, std::int64_t nowMs);

// The segment as the operator counts it, 1 for the first, from its index in the Sync point list
// (a list that begins with 0 has no segment 0); none before the first cue.
std::optional<std::int32_t> segmentOrdinal(const QStringList& syncPoints, std::int32_t index);
// The other way: the index the lines show ("seg 0" ends at the first Sync point, as the list's
// rows count).
std::int32_t segmentIndex(const QStringList& syncPoints, std::int32_t ordinal);

// A Slave's id in the snapshot: "slave-<n>", n numbering the connections in the order they came.
QString slaveId(const SlaveStatus& slave);

// One Slave's entry of the show's snapshot. `previous` is its entry in the last snapshot (or
// null), whose lateness history it carries on.
ScreenStatus slaveScreen(const SlaveStatus& slave, const QString& address, const ShowFacts& show,
                         std::int64_t nowMs, const ScreenStatus* previous);

// The Master's own entry from what it plays; it is frozen when its own picture stood still
// while it should have moved. It has no time last heard: it is the one that hears.
ScreenStatus masterScreen(const QString& name, const StatusMedia& media, const StatusPlay& play,
                          std::optional<std::int64_t> shownFrame, bool frozen,
                          const ShowFacts& show);

// "127.0.0.1:40212 (Slave 1)": the address and the name a screen reports, as the list, the log
// and the show report name it.
QString screenLabel(const ScreenStatus& screen);

// How long a Slave whose connection ended stays in the snapshot as gone, unless it comes back
// first: long enough for an operator to see which screen left, short enough that a screen
// taken out of the show does not stay on every dashboard.
inline constexpr std::int64_t GoneKeptMs = 10 * 60 * 1000;

// Carries the Slaves of `previous` that are no longer connected into `snapshot`, as gone, with
// what was known of them last. `goneSinceMs` remembers when each left (by id); a screen is
// dropped once it was gone GoneKeptMs, or as soon as a screen of the same name connects from
// the same host (the same machine, restarted).
void keepGoneScreens(ShowSnapshot& snapshot, const ShowSnapshot& previous,
                     std::map<QString, std::int64_t>& goneSinceMs, std::int64_t nowMs);

#pragma once

#include "app/status_frame.h"
#include "app/watchdog_picture.h"

#include <QByteArray>

#include <QString>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// What the Master has heard from one Slave.
struct SlaveStatus {
    std::optional<StatusMedia> media;
    std::optional<StatusPlay> play;
    QString error;
    // The Slave's wall clock put on the Master's: the least (received − sent) seen lately, so
    // the transit counts once, at its shortest.
    std::optional<std::int64_t> clockOffsetMs;
    // Numbers the connections in the order they were first seen, never twice in a run.
    std::int64_t serial = 0;
    // From its heartbeat; an older Slave sends none, and its silence then says nothing.
    bool beats = false;
    QString name;
    std::optional<std::int64_t> shownFrame;
    // Its shown frame stood still for FrozenMs while its player ran.
    bool frozen = false;
    // When the last report arrived, on the Master's monotonic clock and on its wall clock.
    std::optional<std::int64_t> heardAtMs;
    std::optional<std::int64_t> heardAtWallMs;

    // When the Slave's segment started, on the Master's wall clock.
    std::optional<std::int64_t> startedAtMasterMs() const;
};

// The Slaves' status reports on the Master, framed and kept per connection, so that reports of
// several Slaves never mix. A connection may send at most ReportsPerSecond reports (a burst of
// that many at once); while it has used them up, what it sends is dropped unread, and reading
// starts again at the next "_", so a Slave that floods costs next to nothing here. Frames are
// cut as the command assembler cuts them. User-interface thread only.
class SlaveStatusBoard {
public:
    using Key = const void*;
    static constexpr int ReportsPerSecond = 20;
    static constexpr int OffsetSamples = 8;
    // How long a shown frame may stand still while it should move (a seek, a slow decoder).
    static constexpr std::int64_t FrozenMs = 2000;

    // Takes a chunk from the connection; nowMs is a monotonic clock for the budget, wallMs the
    // Master's wall clock (Unix epoch) for the clock offset. True when a report changed what
    // is known of the Slave.
    bool receive(Key connection, QByteArrayView bytes, std::int64_t nowMs, std::int64_t wallMs);
    // A new connection starts with nothing known, even where an old one stood.
    void forget(Key connection);
    // Drops every connection that is not in the list, and starts an entry for each new one.
    void retain(const std::vector<Key>& connected, std::int64_t nowMs);

    const SlaveStatus* find(Key connection) const;
    std::int64_t droppedReports() const { return dropped_; }

private:
    struct Connection {
        bool inFrame = false;
        QByteArray partial;
        SlaveStatus status;
        std::deque<std::int64_t> offsets;
        double budget = ReportsPerSecond;
        std::int64_t budgetAtMs = 0;
        PictureWatch picture{FrozenMs};
    };
    Connection& connection(Key key, std::int64_t nowMs);
    // Takes the play report, with the clock offset it tells.
    static bool takePlay(Connection& connection, const StatusPlay& play, std::int64_t wallMs);
    // False when the connection's budget is used up.
    static bool refill(Connection& connection, std::int64_t nowMs);
    // True when the report changed what is known.
    bool take(Connection& connection, QByteArrayView command, std::int64_t nowMs,
              std::int64_t wallMs);

    std::map<Key, std::unique_ptr<Connection>> connections_;
    std::int64_t dropped_ = 0;
    std::int64_t serials_ = 0;
};

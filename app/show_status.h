#pragma once

#include "app/status_frame.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// How one screen of the show is doing, in one word the operator reads at a glance.
enum class ScreenHealth {
    // Reports, and plays or holds as it should.
    Ok,
    // Connected, but has not said yet what it plays.
    Starting,
    // No report for longer than a heartbeat allows.
    NotResponding,
    // Its shown frame stands still while it should play.
    Frozen,
    // Its media failed or it reported an error.
    Failing,
    // Its connection ended.
    Gone,
};

// One screen: the Master's own or a Slave's, as the Master knows it.
struct ScreenStatus {
    // Stable while the screen stays connected, and never reused for another within a run:
    // "master", or "slave-<n>".
    QString id;
    bool master = false;
    // Its name (the window's title suffix, else its host name) and address ("host:port";
    // empty for the Master's own).
    QString name;
    QString address;
    ScreenHealth health = ScreenHealth::Starting;
    // "no media", "stopped", "cued", "playing", "ended".
    QString state;
    // 1 for the first segment; none before its first cue.
    std::optional<std::int32_t> segment;
    // Frames counted from the screen's own In point.
    std::optional<std::int64_t> startFrame;
    std::optional<std::int64_t> shownFrame;
    // How late its picture started behind the Master's at the last starts, oldest first, in
    // ms; at most LateHistory entries.
    std::vector<std::int64_t> lateMs;
    // When it was last heard from, on the Master's wall clock (Unix epoch, ms).
    std::optional<std::int64_t> lastHeardMs;
    QString fileName;
    // What is wrong, in the operator's words; empty when nothing is.
    QStringList problems;

    // What its lines are drawn from: its place in the show as reported, how late its picture
    // started at the start it plays now (none while not known), when that picture started on
    // the Master's wall clock (tells one start from the next), its media and its last error.
    PlayState playState = PlayState::NoMedia;
    bool stillCueing = false;
    std::optional<std::int64_t> startLateMs;
    std::optional<std::int64_t> startedAtMs;
    std::optional<StatusMedia> media;
    QString error;

    static constexpr int LateHistory = 8;
    bool operator==(const ScreenStatus&) const = default;
};

// The whole show as its Master sees it: the show's settings and every screen, the Master first.
struct ShowSnapshot {
    QString showName;
    // "Master" or "Slave"; "LAN" or "serial".
    bool master = true;
    bool lan = true;
    bool running = false;
    bool loop = false;
    bool fullScreen = false;
    bool locked = false;
    // 1 for the first segment; none before the first cue.
    std::optional<std::int32_t> segment;
    std::int32_t inPoint = 0;
    // The Sync points, ascending, counted from the In point.
    std::vector<std::int32_t> syncPoints;
    std::vector<ScreenStatus> screens;

    const ScreenStatus* screen(const QString& id) const;
    bool operator==(const ShowSnapshot&) const = default;
};

QString screenHealthName(ScreenHealth health);

// Holds the show's snapshot for everyone who renders it (the Master's list, the event log's
// status lines, the show report, remote surfaces) and says when it changed.
// User-interface thread only.
class ShowStatusModel : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    const ShowSnapshot& snapshot() const { return snapshot_; }
    // Emits changed() when the new snapshot differs from the one held.
    void setSnapshot(ShowSnapshot snapshot);

signals:
    void changed();

private:
    ShowSnapshot snapshot_;
};

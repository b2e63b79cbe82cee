#pragma once

#include "app/sync_command.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <variant>

// The media a Slave has open and the program it runs; sent on connecting and on change.
struct StatusMedia {
    bool open = false;
    // The file's name without its directory.
    QString fileName;
    std::int64_t durationFrames = 0;
    // Frames a second as a fraction; 0/1 when the file declares none.
    std::int64_t rateNumerator = 0;
    std::int64_t rateDenominator = 1;
    int width = 0;
    int height = 0;
    std::int32_t inPoint = 0;
    QString version;

    bool operator==(const StatusMedia&) const = default;
};

enum class PlayState { NoMedia, Stopped, Cued, Playing, Ended };

// Where a Slave stands in the show; sent at each cue and start and when the state changes.
// Frames count from the Slave's own In point, as the Sync points do.
struct StatusPlay {
    PlayState state = PlayState::NoMedia;
    std::int32_t segment = -1;
    // The frame the media stood on when the segment was cued, and the one it started from.
    std::optional<std::int64_t> cueFrame;
    std::optional<std::int64_t> startFrame;
    // When the segment's first frame was shown, in ms of the Slave's wall clock (Unix epoch).
    std::optional<std::int64_t> startedAtMs;
    // "Play" arrived before the cue had reached the segment's first frame.
    bool stillCueing = false;
    bool fullScreen = false;
    // The Slave's wall clock when the frame left, so that the Master can place startedAtMs on
    // its own clock.
    std::int64_t sentAtMs = 0;

    bool sameStateAs(const StatusPlay& other) const;
};

// The last error the Slave met (media, serial), in the operator's words; empty: none.
struct StatusError {
    QString text;
    bool operator==(const StatusError&) const = default;
};

// A LAN Slave's heartbeat, at least once a second: its place in the show as in StatusPlay, what
// its screen shows now and its name. It goes under the play report's code with three fields
// more, which an older Master refuses whole and silently, as it does any malformed report; the
// plain play report still goes out on every change for such a Master.
struct StatusBeat {
    StatusPlay play;
    // The frame the video sink shows, counted from the In point; none without a picture.
    std::optional<std::int64_t> shownFrame;
    // The player runs within its range, so the shown frame should change.
    bool pictureShouldMove = false;
    // The window's title suffix, else the host name.
    QString name;
};

using StatusReport = std::variant<StatusMedia, StatusPlay, StatusError, StatusBeat>;

// Longest status command a Master takes; longer ones are refused whole.
inline constexpr qsizetype MaxStatusLength = 600;
// Longest text field in bytes on the wire; builders shorten longer texts.
inline constexpr qsizetype MaxStatusText = 160;

// The command texts (to be put between "_" and "*").
QByteArray buildStatus(const StatusMedia& media);
QByteArray buildStatus(const StatusPlay& play);
QByteArray buildStatus(const StatusError& error);
QByteArray buildStatus(const StatusBeat& beat);

// True when the command carries one of the status codes.
bool isStatusCommand(QByteArrayView command);

// The report of a status command, or nothing when anything in it is out of place: unknown
// code, a field too many or too few, a number that is no number or out of range, a bad escape,
// text that is not UTF-8, or more than MaxStatusLength bytes.
std::optional<StatusReport> parseStatus(QByteArrayView command);

#pragma once

#include "app/sync_command.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// Where the media stands against the segment cued last: paused at its start (a cue or a
// rewind), somewhere within its range, or anywhere with the range to the end of the media (a
// seek).
enum class MediaPlace { SegmentStart, InSegment, Anywhere };

// What the shared clock's watch knows, so that its log says each state once.
struct SharedClockWatch {
    // The setup in use (role, Master, port, drift), to set up anew only what changed.
    QString setupKey;
    quint16 port = 0;
    int driftPpm = 0;
    // Slave: the Master's address as the link found it; the clock is asked there.
    QString masterAddress;
    bool settledLogged = false;
    bool unreachableLogged = false;
    std::int64_t followedSinceMs = 0;
    std::int64_t stateLoggedMs = 0;
    int stepsSeen = 0;
    // Publishing: the failure said last; none before the first word on it.
    std::optional<QString> publishError;
};

// The show as one instance holds it: what the operator set (role, link, the Sync points, the
// In point, Loop, full screen, test mode, the sync time) and where the show stands.
struct ShowModel {
    bool master = true;
    bool lan = true;
    // As the list holds them: a stored file may hold an entry that is no number.
    QStringList syncPoints;
    // The selected Sync point; -1: none. The Master goes on from it.
    int selection = -1;
    std::int32_t inPoint = 0;
    bool loop = false;
    bool fullScreenWanted = false;
    bool testMode = false;
    int syncTimeMs = 400;

    // The segment cued last. A Slave's next cue is the one after it, whatever its selection: a
    // list received anew clears the selection, not what plays.
    int cuedSegment = -1;
    MediaPlace place = MediaPlace::Anywhere;
    // A Slave that ran to its Out point and wrapped by itself plays the first segment already.
    bool wrappedToFirstSegment = false;
    // Texts about Sync points that do not fit the media, each said once per Start.
    QSet<QString> reportedMismatches;

    // Master: the segment playing and when its first frame after the cue appeared.
    std::optional<JoinOrder> showStarted;
    // Slave: a join not yet carried out.
    std::optional<JoinOrder> pendingJoin;
    // Slave: whether the coming "Play" was already acted on by a start on the shared time.
    bool startedOnSharedTime = false;
    // Slave: a join that waits for media and clock or found its segment over; the loop's wrap
    // lets it in, as no cue and no "Play" follow a wrap that plays on.
    bool joinWaiting = false;
    SharedClockWatch clock;
};

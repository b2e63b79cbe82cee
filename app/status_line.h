#pragma once

#include "app/preflight.h"
#include "app/show_status.h"
#include "app/slave_status_board.h"
#include "app/status_words.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What the Master knows of the show, against which a Slave's report is read.
struct ShowFacts {
    QStringList syncPoints;
    // The Master's own media: the reference for the frame rate.
    InstanceMedia master;
    // The segment the Master started last and when its picture started (Master's wall clock).
    std::int32_t startedSegment = -1;
    std::optional<std::int64_t> startedAtMs;
};

// How far behind the Master's picture the Slave's segment started, in ms; nothing when either
// start is not known or they are not the same segment.
std::optional<std::int64_t> lateness(const SlaveStatus& slave, const ShowFacts& show);

// The facts a snapshot holds for its Slaves' lines: the Sync points and the Master's media.
ShowFacts factsOf(const ShowSnapshot& snapshot);

// A screen's short state, e.g. "seg 3 ▶ 1200 ✓", "cued 3", "seg 2 ▶ 600 late 80 ms",
// "not responding", and the notes after it: its last place when it is not responding or frozen,
// what is wrong with its media, its last error. All empty for a Slave that has not reported (an
// older program).
struct StatusText {
    QString state;
    QStringList notes;
};
StatusText screenText(const ScreenStatus& screen, const ShowFacts& show, const StatusWords& words);
// The same on one line, as the event log has it: "cued 3 · file too short for Sync point 500".
QString shortState(const ScreenStatus& screen, const ShowFacts& show, const StatusWords& words);
// As the Master's list shows it: the label and the state, then each note on a line of its own
// (the list is narrow), the first one beside the label when there is no state.
QString listEntry(const QString& label, const StatusText& text);

// What the Slave plays and runs, for the line's hint: "clip.avi · 1280x720 · 25 fps ·
// 3000 frames · In 50 · frameLock PRO 2.20".
QString mediaSummary(const StatusMedia& media, const StatusWords& words);

// The Slave's media as the check at Start sees it.
InstanceMedia instanceMedia(const QString& name, const StatusMedia& media);

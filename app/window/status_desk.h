#pragma once

#include "app/show_report.h"
#include "app/slave_status_board.h"
#include "app/status_line.h"
#include "app/status_words.h"
#include "app/watchdog_picture.h"
#include "net/host_log_budget.h"

#include <QObject>
#include <QStringList>
#include <cstdint>
#include <map>

class QTimer;

// What a LAN Master keeps of its Slaves: what they reported, the lines drawn from the show's
// snapshot, the show report and its own picture's watch. Owned by the window as its child;
// user-interface thread only.
class StatusDesk : public QObject {
    Q_OBJECT

public:
    // Health changes with time alone (a Slave that falls silent): the snapshot is built anew
    // this often.
    static constexpr int PollMs = 250;
    // Reports of many Slaves come in many turns of the event loop; the lines are redrawn at most
    // once per RefreshMs for all of them.
    static constexpr int RefreshMs = 100;
    // How long after its start the Master samples its running position, as a Slave does.
    static constexpr int SampleMs = 300;

    StatusDesk(QObject* parent, const QString& reportPath);

    SlaveStatusBoard board;
    ShowReport report;
    QTimer* poll;
    QTimer* refresh;
    QTimer* sample;

    // The language the words were read for; -1: not yet read.
    int wordsLanguage = -1;
    StatusWords words;
    // The log's lines and the labels of the Slaves as drawn last.
    QStringList shownLines;
    QStringList shownIds;
    QStringList shownLabels;
    // The Slaves' link lines (framelock.net) and status lines (framelock.sync), each a few a
    // second per host at most; flushLog tells the counts.
    HostLogBudget linkLog;
    HostLogBudget stateLog;
    QTimer* flushLog;

    // The Master's own starts.
    ShowFacts facts;
    // When each Slave that left the show left; its screen stays in the model as gone a while.
    std::map<QString, std::int64_t> goneSinceMs;
    std::int64_t playSentMs = 0;
    std::int64_t startFrameInFile = 0;
    std::optional<std::int64_t> startFrame;
    // The Master's own picture, watched as a Slave's is.
    PictureWatch picture{SlaveStatusBoard::FrozenMs};
    bool pictureFrozen = false;
};

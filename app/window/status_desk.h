#pragma once

#include "app/show_report.h"
#include "app/slave_status_board.h"
#include "app/slave_status_reporter.h"
#include "app/status_line.h"
#include "app/status_words.h"
#include "net/host_log_budget.h"

#include <QObject>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

class QTimer;

// What the window keeps for the status back channel: on a LAN Slave what it reports, on the
// Master what the Slaves reported, the lines shown and the show report. Owned by the window as
// its child; user-interface thread only.
class StatusDesk : public QObject {
    Q_OBJECT

public:
    // Slaves report changes this often at most; the Master refreshes its lines as often.
    static constexpr int PollMs = 250;
    // How long after a start the running position is sampled to tell when the picture started.
    static constexpr int SampleMs = 300;
    static constexpr int RefreshMs = 100;

    StatusDesk(QObject* parent, const QString& reportPath);

    SlaveStatusBoard board;
    StatusReporter reporter;
    ShowReport report;
    QTimer* poll;
    QTimer* sample;
    QTimer* refresh;

    // The language the words were read for; -1: not yet read.
    int wordsLanguage = -1;
    StatusWords words;
    QStringList shownLines;
    QStringList shownNames;
    // The Slaves' link lines (framelock.net) and status lines (framelock.sync), each a few a
    // second per host at most; flushLog tells the counts.
    HostLogBudget linkLog;
    HostLogBudget stateLog;
    QTimer* flushLog;

    // The Slave's own state, as the Master's commands left it.
    PlayState state = PlayState::Stopped;
    std::optional<std::int64_t> cueFrame;
    std::optional<std::int64_t> startFrame;
    std::optional<std::int64_t> startedAtMs;
    bool stillCueing = false;
    bool sampling = false;
    std::int64_t startFrameInFile = 0;
    std::optional<std::int64_t> lastPolledFrame;
    QString lastError;

    // The Master's own starts.
    ShowFacts facts;
    std::int64_t playSentMs = 0;
};

#pragma once

#include "app/slave_status_reporter.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

class QTimer;

// What a LAN Slave keeps to report to its Master: its own place in the show as the Master's
// commands left it, and what it sent last. Owned by the window as its child; user-interface
// thread only.
class SlaveStatusDesk : public QObject {
    Q_OBJECT

public:
    // The Slave looks this often whether anything changed, and sends its heartbeat when due.
    static constexpr int PollMs = 250;
    // How long after a start the running position is sampled to tell when the picture started.
    static constexpr int SampleMs = 300;

    explicit SlaveStatusDesk(QObject* parent);

    StatusReporter reporter;
    QTimer* poll;
    QTimer* sample;

    PlayState state = PlayState::Stopped;
    std::optional<std::int64_t> cueFrame;
    std::optional<std::int64_t> startFrame;
    std::optional<std::int64_t> startedAtMs;
    bool stillCueing = false;
    bool sampling = false;
    std::int64_t startFrameInFile = 0;
    std::optional<std::int64_t> lastPolledFrame;
    QString lastError;
};

#pragma once

#include "app/slave_status_reporter.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class QTimer;
class ShowController;
class TGraphPlayer;

// A LAN Slave's reports to its Master: keeps its own place in the show as the Master's commands
// and the controller's starts left it, samples when its picture started, tells when a range ran
// out, and sends what changed and the heartbeat. No widgets; user-interface thread only.
class SlaveShowReporter : public QObject {
    Q_OBJECT

public:
    // The Slave looks this often whether anything changed, and sends its heartbeat when due.
    static constexpr int PollMs = 250;
    // How long after a start the running position is sampled to tell when the picture started.
    static constexpr int SampleMs = 300;

    // What the reports need from around the show: the link and what the operator sees.
    struct Surroundings {
        std::function<bool()> closing;
        std::function<bool()> connected;
        std::function<void(const QByteArray& command)> send;
        // The media's file name as the operator gave it.
        std::function<QString()> fileName;
        // The link's own status text, told while nothing else went wrong.
        std::function<QString()> linkText;
        // The name the Master lists this screen by.
        std::function<QString()> screenName;
        QString version;
    };

    SlaveShowReporter(TGraphPlayer& player, const ShowController& show, Surroundings around,
                      QObject* parent = nullptr);

    // The polls begin; until then nothing is looked at.
    void start();
    // A command the Slave acted on.
    void afterCommand(const QByteArray& command);
    // Back at the first segment's start while the media runs on.
    void looped();
    // The Master wrapped; a Slave still in its last segment goes on with the first.
    void restarted();
    // Joined a running show at a segment that starts in startsInMs.
    void joined(std::int64_t segmentStartInFile, std::int64_t startsInMs);
    // What went wrong last; empty when it is over.
    void noteError(const QString& text);
    // A new connection to the Master: everything is told again.
    void connected();

private:
    void playing(std::int64_t startFrameInFile, int sampleAfterMs);
    void poll();
    void sample();
    void report();
    bool onLanSlave() const;

    TGraphPlayer& player_;
    const ShowController& show_;
    Surroundings around_;
    StatusReporter reporter_;
    QTimer* poll_;
    QTimer* sample_;

    PlayState state_ = PlayState::Stopped;
    std::optional<std::int64_t> cueFrame_;
    std::optional<std::int64_t> startFrame_;
    std::optional<std::int64_t> startedAtMs_;
    bool stillCueing_ = false;
    bool sampling_ = false;
    std::int64_t startFrameInFile_ = 0;
    std::optional<std::int64_t> lastPolledFrame_;
    QString lastError_;
};

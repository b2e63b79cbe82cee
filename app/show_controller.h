#pragma once

#include "app/rejected_commands.h"
#include "app/segment_math.h"
#include "app/show_model.h"
#include "app/sync_command.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>

class MediaRetry;
class QTimer;
class ShowHooks;
struct SharedClockState;
class TGraphPlayer;
class Wording;

// A text worded anew in each language.
using WordedText = std::function<QString(const Wording&)>;

// The show's timers, owned and named by whoever shows them (the settings keep their intervals).
struct ShowTimers {
    // From the cue to the start: the sync time.
    QTimer* start = nullptr;
    // A start timed on the shared clock: "Play" for those without it, a frame early.
    QTimer* play = nullptr;
    // Test mode: a frame forward each tick.
    QTimer* test = nullptr;
    // Watches the shared clock while there is one.
    QTimer* clock = nullptr;
};

// The show's controller: holds the show as a plain model, acts on the operator's operations and
// on received commands, drives the player and sends commands through the one function it is
// given. Every change of the model is told by a signal. No widgets; user-interface thread only.
//
// Split over files by concern: show_controller.cpp (the model and the operator's settings),
// show_controller_sequencing.cpp (segments, starts, seeking), show_controller_commands.cpp
// (received commands and the Master's relay), show_controller_clock.cpp (starts on the shared
// clock and joins) and show_controller_shared_clock.cpp (the clock itself).
class ShowController : public QObject, public SyncCommandTarget {
    Q_OBJECT

public:
    using Send = std::function<void(const QByteArray& command)>;
    ShowController(TGraphPlayer& player, ShowHooks& hooks, Send send, ShowTimers timers,
                   QObject* parent = nullptr);
    ~ShowController() override;

    const ShowModel& model() const { return model_; }
    // The show's file while it cannot be played as the show needs it.
    MediaRetry& mediaRetry() const { return *retry_; }
    bool isMaster() const { return model_.master; }
    bool isLan() const { return model_.lan; }
    int cuedSegment() const { return model_.cuedSegment; }
    // Whether a start is armed or announced and not yet made.
    bool starting() const;

    // The operator's settings as they stand at start, taken without acting on them.
    void takeSettings(const ShowModel& settings);
    // The operator's settings; each says what changed and does what the control did.
    void setRole(bool master);
    void setLan(bool lan);
    void setSyncPoints(const QStringList& items);
    void setSelection(int row);
    void setInPoint(std::int32_t frame);
    void setLoop(bool on);
    void setFullScreenWanted(bool on);
    void setTestMode(bool on);
    void setSyncTime(int ms);
    void setLanguage(int index);

    // The operator's operations.
    void start();
    void stop();
    void rewind();
    // Cues segment n (0 for the first) and holds there.
    void cue(std::int32_t n);
    void goToFrame(std::int64_t frame);
    void stepFrames(std::int64_t count);
    // A seek from the position bar: like goToFrame, without telling the bar.
    void seekFromBar(std::int64_t frame);
    // The In point becomes the frame, when given as a number.
    void setInFromText(const QString& frameText);
    // A Sync point at the frame (counted in the file), where the list keeps its order.
    void addSyncPoint(const QString& frameText);
    void deleteSyncPoint();
    void goToSelection();
    void toggleFullScreen();
    // Out of full screen and stopped, as a double click on the video does.
    void leaveFullScreen();
    // Auto Start: list, place, full screen, and the start after the sync time.
    void autoStart();
    void stopStartTimers();
    void stopTestMode();

    // What the player reports.
    void rewindLocal();
    void fullScreenOnPlay();
    void segmentComplete();

    // A received command: checked, relayed by a Master where the relay says so, and acted on.
    void DispatchCommand(const QByteArray& command);
    // Master: what a Slave connecting now needs to come in with the show; none when nothing
    // plays and no start is coming.
    std::optional<QList<QByteArray>> joinCommands() const;
    // Slave: a join waiting for media and clock tries again.
    void TryJoin();

    void StartTimerTimer();
    void PlayTimerTimer();
    void TestTimerTimer();

    // The shared clock (show_controller_shared_clock.cpp): set up for the role and link (port 0:
    // none), followed anew at the Master's address when the link reaches it, dropped and built
    // again when it disagrees with the Master, and watched.
    void openSharedClock(quint16 port, int driftPpm);
    void sharedClockLinked(const QString& masterAddress);
    void renewSharedClock(const QString& why);
    void ClockTimerTimer();

signals:
    void roleChanged(bool master);
    void linkChanged(bool lan);
    void syncTimeChanged(int ms);
    void syncPointsChanged(const QStringList& items);
    void selectionChanged(int row);
    void inPointChanged(std::int32_t frame);
    void loopChanged(bool on);
    void fullScreenWantedChanged(bool on);
    void testModeChanged(bool on);
    // A seek by the operator: where the media now stands.
    void positioned(std::int64_t frame);
    // A start was armed: it comes after the sync time.
    void startArmed();
    // The shared clock was dropped, and why; a new one settled; the Master's clock could (an
    // empty error) or could not be published on its port.
    void clockRenewed(const QString& why);
    void clockSettled();
    void clockPublishing(const QString& error, quint16 port);
    // Sync points or an In point that do not fit the media, worded in each language; each text
    // once per Start.
    void mediaMismatch(const WordedText& worded);

private:
    // Only a Master sends.
    void send(const QByteArray& command);

    // Received commands.
    void commandPlay() override;
    void commandStop() override;
    void commandRewind() override;
    void commandRestart() override;
    void commandFullScreenSetting(bool on) override;
    void commandFullScreen(bool on) override;
    void commandLanguage(int index) override;
    void commandLoop(bool on) override;
    void commandPosition(std::int64_t offsetFromIn) override;
    void commandPositionInSegment(std::int64_t offsetFromIn) override;
    void commandClearList() override;
    void commandListItem(std::int32_t syncPoint) override;
    void commandCueSegment(std::int32_t index) override;
    void commandStartAt(std::int64_t sharedTimeNs) override;
    void commandJoin(const JoinOrder& order) override;
    void commandRefused(QByteArrayView command) override;
    void commandAccepted(QByteArrayView command) override;
    void NoteRejected(RejectedCommands::Reason reason, QByteArrayView command);
    void ArmRejectedFlush();
    void LogRejected(const QStringList& lines);
    // Whether this instance acts on the command in its role.
    bool actsOn(const char* code) const;
    void ForgetPendingClockWork(QByteArrayView command);

    // Sequencing.
    void SelectSyncPoint(int row);
    void SelectSegment();
    void HintNextSegment();
    void ResetToFirstSegment();
    // Cues segment n; sends the cue when told to.
    void CueSegment(std::int32_t n, bool autoStart, bool sendCue = true);
    void EndOfList();
    void ArmStart();
    void SendSyncList();
    void SendStartPlace();
    QList<QByteArray> StartPlaceCommands() const;
    void SendPosition(std::int64_t frame);
    void seekAndHold(std::int64_t frame);
    void stopLocal();
    bool PlayFromPlace(std::optional<std::int64_t> sharedTimeNs = std::nullopt);
    std::optional<FrameRange> CuedRange() const;
    // Whether the cued segment has frames to show in the file as it is.
    bool CuedSegmentPlayable() const;
    // The file opened anew where it changed, the segment that was cued cued again.
    void ReopenMedia();
    void ReportRangeFit(int index, const FrameRange& range, const FittedRange& fitted);
    void ReportMediaMismatch(const WordedText& worded);

    // The shared clock.
    void watchPublishedClock(const SharedClockState& clock);
    void watchFollowedClock(const SharedClockState& clock);
    bool StartOnSharedTime();
    void JoinAtWrap();

    TGraphPlayer& player_;
    ShowHooks& hooks_;
    Send send_;
    ShowTimers timers_;
    ShowModel model_;
    RejectedCommands rejected_;
    bool rejectedFlushArmed_ = false;
    MediaRetry* retry_ = nullptr;
};

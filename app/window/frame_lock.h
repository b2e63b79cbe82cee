#pragma once

#include "app/join_cue.h"
#include "app/lan_master_link.h"
#include "app/lan_slave_link.h"
#include "app/operator_table.h"
#include "app/rejected_commands.h"
#include "app/segment_math.h"
#include "app/serial_chain_link.h"
#include "app/sync_command.h"
#include "app/watchdog_picture.h"
#include "app/watchdog_status_line.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class DialogService;
class ProfileDocument;
class MediaService;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class StatusDesk;
class SlaveStatusDesk;
class QTimer;
class ShowStatusModel;
struct ScreenStatus;
class TStatusBox;
class Wording;
class TComPort;
class TFormStorage;
class TGraphPlayer;
class TLedIndicator;
class TSimpleTCPClient;
class TSimpleTCPServer;
class TfSplash;
class TktLanguage;
class TktProps;
class TktSpinEdit;
struct SharedClockState;
class TSharedClockProps;
class TRemoteProps;
class RemoteLayer;

namespace Ui {
class TfFrameLock;
}

// What the main window is given from outside: the dialog layer, the media service and the
// directory it keeps its files in (settings, language files, help pages). The program passes the
// desktop's dialogs, GStreamer and the executable's directory; tests pass doubles and a
// temporary directory.
struct FrameLockServices {
    DialogService* dialogs = nullptr;
    std::function<std::unique_ptr<MediaService>()> makeMediaService;
    // With a trailing "/".
    QString programDir;
    // Ends the program's event loops, nested ones included, with the exit code; called once the
    // window has closed and written its settings. The program quits its loops; tests leave it
    // unset and run their own.
    std::function<void(int exitCode)> endProgram;
};

// The program's one main window and its controller: role and link, the Sync command protocol,
// the Sync points and the sequencing of playback, and the operator's controls. Role and link are
// nothing but the radio buttons, read whenever an operation runs.
//
// The class is split over files by concern: frame_lock.cpp (state, start-up, shut-down),
// frame_lock_links.cpp, frame_lock_protocol.cpp, frame_lock_sequencing.cpp and
// frame_lock_controls.cpp. Everything runs on the user-interface thread.
class TfFrameLock : public QWidget, private SyncCommandTarget {
    Q_OBJECT

public:
    explicit TfFrameLock(FrameLockServices services, QWidget* parent = nullptr);
    ~TfFrameLock() override;

    Ui::TfFrameLock& form() const { return *ui; }
    // The operator's operations by name: the keys, buttons and menus run them, and so do the
    // remote surfaces.
    OperatorTable& operators() { return operators_; }
    // The show as this instance sees it, for everything that renders it.
    ShowStatusModel& statusModel() const { return *statusModel_; }
    TGraphPlayer& player() const { return *player_; }
    bool splashShowing() const { return SplashShowing; }
    TfSplash* splash() const;

    // Non-visual members, named as the settings and language layers find them.
    TSimpleTCPServer* Server;
    TSimpleTCPClient* Client;
    TComPort* ComPort1;
    TComPort* ComPort2;
    TFormStorage* FormStorage;
    TktLanguage* lang;
    TktProps* ComportsNr;
    QTimer* StatusTimer;
    QTimer* CountdownTimer;
    QTimer* OpenTimer;
    QTimer* ClientStatusTimer;
    QTimer* StartTimer;
    QTimer* TestTimer;
    QTimer* ledtimer;
    // Reopens a serial port whose device went away, at the TCP retry's rhythm.
    QTimer* ComRetryTimer;
    TSharedClockProps* SharedClock;
    // Watches the shared clock; sends the "Play" of a start timed on it when that time comes.
    QTimer* ClockTimer;
    QTimer* PlayTimer;
    TRemoteProps* Remote;

    // State, start-up and shut-down.
    void FormShow();
    void FormClose();
    void StopStartTimers();
    void CountdownTimerTimer();
    void OpenTimerTimer();
    // A stop by a service manager (SIGTERM, SIGINT): nobody is there to answer a box, so any
    // box up is closed, the window closes without asking, and the run ends with exit code 0.
    void Terminate();
    // Tries the media file that could not be opened again, quietly.
    void MediaRetryTimerTimer();

    // Links.
    void rbMasterClick();
    void rbSlaveClick();
    void rbLanClick();
    void ApplyRoleLayout();
    void OpenLink();
    void cbCom1Change();
    void cbCom2Change();
    // Returns true when the key was consumed (Enter).
    bool eSlaveIPKeyPress(QObject* Sender, QChar Key);
    void ServerError(QObject* Sender, qint32 Socket, qint32 ErrorCode, const QString& ErrorMsg);
    void ClientError(QObject* Sender, qint32 Socket, qint32 ErrorCode, const QString& ErrorMsg);
    void ClientDisconnected(QObject* Sender);
    void ServerClientConnected(QObject* Sender, TSimpleTCPClient* Client);
    void ClientStatusTimerTimer();
    void ComPortClose(QObject* Sender);
    void ComRetryTimerTimer();
    // Shows the link status texts again in the language now chosen.
    void RefreshLinkStatus();
    // The backends, one per kind of link.
    LanMasterLink& MasterLink() const { return *masterLink_; }
    LanSlaveLink& SlaveLink() const { return *slaveLink_; }
    SerialChainLink& SerialLink() const { return *serialLink_; }
    // Slave: what the Master said of itself, or that it said nothing.
    void MasterAnswered(LanSlaveLink::MasterState state, const MasterHello& hello);
    // Slave: the link status that says which Master it follows, or that none answers.
    void ShowLinkedMaster();

    // Protocol.
    // Hands the command to the active link (see SyncLink::send).
    void SendCommand(const QByteArray& command);
    void DispatchCommand(const QByteArray& command);

    // Sync points and sequencing.
    void SelectSegment();
    // Tells the player which range the show cues next, so that it can stand ready.
    void HintNextSegment();
    void ResetToFirstSegment();
    void RewindLocal();
    void CueSegment(std::int32_t n, bool autoStart);
    void SegmentComplete();
    void EndOfList();
    void ArmStart();
    void StartTimerTimer();
    void SendSyncList();
    // Where the Master stands, for the Slaves before a Start: its segment, and its place when
    // that is not the segment's start.
    void SendStartPlace();
    // The commands that take a Slave there, as SendStartPlace sends them; reads the Master's
    // place, so its media must hold still.
    QList<QByteArray> StartPlaceCommands();
    void SendPosition(std::int64_t frame);
    void GoToFrame(std::int64_t frame);
    void StepFrames(std::int64_t count);
    void StopTestMode();
    void bPlayClick();
    void bStopClick();
    void bRewindClick();
    void bSetClick();
    void bSetInClick();
    void bGoClick();
    void bDeleteClick();
    void lbCutDblClick();
    void gbSyncClick();
    void tbSyncChange();
    void tbPositionChange();
    void seAktFramektOnNewValue();
    void seAktFrameChange();
    void seAktFrameExit();
    void cbTestClick();
    void TestTimerTimer();
    void StatusTimerTimer();
    void bFileClick();

    // The shared clock (frame_lock_clock.cpp).
    void OpenSharedClock();
    void ClockTimerTimer();
    void PlayTimerTimer();
    // Slave: the link reached the Master; its clock is followed anew, at the link's address.
    void SharedClockLinked();
    // Slave: the shared clock disagrees with the Master; it is dropped and built again.
    void RenewSharedClock(const QString& why);
    void WatchPublishedClock(const SharedClockState& clock);
    void WatchFollowedClock(const SharedClockState& clock);
    // On a LAN Master on the shared clock: announces the start, starts itself on that time and
    // sends "Play" when it comes. False (nothing done) otherwise.
    bool StartOnSharedTime();
    // A Slave that connects while the show plays is told where it stands.
    void JoinSlave(TSimpleTCPClient* slave);

    // The operations by name (frame_lock_operations.cpp).
    void RegisterOperations();
    // The dashboard, API and OSC of a LAN Master (frame_lock_remote.cpp): opened or closed
    // as the role and the link say.
    void OpenRemote();

    // Operator controls and indicators.
    void FormKeyDown(QObject* Sender, int Key, Qt::KeyboardModifiers Shift);
    void FormKeyPress(QObject* Sender, QChar Key);
    void cbLockClick();
    void cbLockMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift);
    void sbUSAClick();
    // False when the language file was damaged and the program is ending.
    bool SetLanguage(int index);
    // " – " and the title suffix of the settings file, or nothing without one.
    QString TitleSuffixText() const;
    void cbFullscreenClick();
    void cbRepeatClick();
    void FullScreenOnPlay();
    void FormDblClick();
    void FlashLed(TLedIndicator* led);
    void ledtimerTimer();
    void bHelpClick();
    void bAboutClick();

    // The Slaves' status on the Master and what a LAN Slave reports (frame_lock_status.cpp).
    void StatusReceived(TSimpleTCPClient* Client, QByteArrayView bytes);
    void ShowSlaveLines(TSimpleTCPClient* Client = nullptr);
    void StatusConnected();
    void StatusAfterCommand(const QByteArray& command);
    // The start frame in the file is where the media stands unless given.
    void StatusSegmentStarted(std::optional<std::int64_t> startFrameInFile = std::nullopt);
    void StatusNoteError(const QString& text);
    void PreflightCheck();
    // The show went back to its first segment by itself (at the Out point, or on the Master's
    // word) while the media ran on.
    void StatusLooped();
    void StatusRestarted();
    // A join starts the segment's picture in startsInMs, on the running frame.
    void StatusJoined(std::int64_t segmentStartInFile, std::int64_t startsInMs);
    // A line about a Slave's link (framelock.net) or its state (framelock.sync), within what
    // its host may cost the log.
    void LogAboutSlave(bool state, const QString& host, const QString& line);

    // What a service manager hears of the instance (frame_lock_service.cpp): whether its
    // picture moves, and its state in one line; and, at start, a settings file that could not
    // be written at the end.
    PictureWatch::Sample WatchdogPicture() const;
    InstanceState WatchdogState() const;
    void ReportSettingsAccess();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    bool isKeyPropagation(const QKeyEvent* key, const QWidget* receiver) const;
    void createComponents();
    void connectHandlers();
    void createPlayer();
    // The window takes the size of its visible groups.
    void FitToContents();
    void BuildLinks();
    void ApplyLinkDevicePaths(const ProfileDocument& settings);
    void OpenComPort(TComPort& port, int number, const char* errorKey);
    void ChooseComPort(QComboBox& box, int otherPort, const std::function<void(int)>& store);
    // A link status: the language text of key (none when empty) followed by a detail, or a text
    // worded anew in each language. Kept, so that it follows a change of language.
    struct LinkStatus {
        QString key;
        QString detail;
        std::function<QString(const Wording&)> worded;
    };
    void ShowStatus(TStatusBox* box, const QString& key, const QString& detail = QString());
    void ShowStatus(TStatusBox* box, std::function<QString(const Wording&)> worded);
    void ShowComFailure(const QString& key, const QString& detail);
    QString LinkStatusText(const LinkStatus& status) const;
    // The operator's language; the event log is written in Wording's default, English.
    Wording OperatorWording() const;
    // The status box of the role and link shown.
    TStatusBox* ShownStatusBox() const;
    // Each status box takes the height its whole text needs; its group grows with it.
    void FitStatusBoxes();
    // The groups, the status boxes and the Master's list take the window's width.
    void StretchToWidth();
    // The list's selection is the current segment; -1 selects nothing.
    void SelectSyncPoint(int row);
    std::int32_t InPoint() const;
    QStringList SyncPoints() const;
    bool IsMaster() const;
    bool IsLan() const;
    // Sync points or an In point that do not fit the media: in the log and the link's status
    // box, each text once per Start.
    void ReportRangeFit(int index, const FrameRange& range, const FittedRange& fitted);
    void ReportMediaMismatch(const std::function<QString(const Wording&)>& worded);
    // Runs the media, at once or so that the frame after the cued one appears at the given time
    // on the shared clock (false when it could not be timed so and runs at once); a place at the
    // segment's start becomes one within it.
    bool PlayFromPlace(std::optional<std::int64_t> sharedTimeNs = std::nullopt);
    // The range of the segment cued last, as it was set (a seek since may have dropped it).
    std::optional<FrameRange> CuedRange() const;

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
    // Refused and unknown commands, told as a count a second.
    void NoteRejected(RejectedCommands::Reason reason, QByteArrayView command);
    void ArmRejectedFlush();
    void LogRejected(const QStringList& lines);

    // The shared clock (frame_lock_clock.cpp).
    void createSharedClock();
    void createRemote();
    // A join waits for media and clock; the Master's next command other than the list's
    // overrides it.
    void TryJoin();
    // A "ReSt" of a loop that plays on, while a join waited: the show is at the first
    // segment's first frame now.
    void JoinAtWrap();
    void ForgetPendingClockWork(QByteArrayView command);

    // Ending the run; the media file the show is set to while it cannot be opened.
    void EndProgram();
    void MediaFileFailed();
    int ShowMediaMessage(const QString& messageKey, const QString& titleKey, int flags);
    // The language's message, then why the file failed and its name.
    QString MediaFailureText(const QString& messageKey) const;
    void CloseMediaNotice();
    // The media file opened: its failure is over, on screen and in the Slave's report.
    void MediaOpened();
    void SetFileBoxQuietly(const QString& text);

    // The Slaves' status (frame_lock_status.cpp).
    void createStatusDesk();
    void StatusPollTimer();
    void StatusSampleTimer();
    void ReportStatus();
    void StatusPlaying(std::int64_t startFrameInFile, int sampleAfterMs);
    void FlushSlaveLog();
    void RecordSlaveStart(const TSimpleTCPClient& slave);
    void RefreshStatusWords();
    QString SlaveName(const TSimpleTCPClient& slave) const;
    // The Master's own entry of the show's snapshot, and the snapshot drawn in the list and log.
    ScreenStatus MasterScreen();
    void RenderSlaveLines(const QList<TSimpleTCPClient*>& slaves);
    // The shown frame counted from the In point; none without a picture.
    std::optional<std::int64_t> ShownFrame() const;

    FrameLockServices services_;
    std::unique_ptr<Ui::TfFrameLock> ui;
    std::unique_ptr<TGraphPlayer> player_;
    OperatorTable operators_;
    ShowStatusModel* statusModel_ = nullptr;
    std::unique_ptr<RemoteLayer> remote_;

    bool UpdatingPositionBar = false;
    bool FrameBoxEdited = false;
    bool UnlockKeyPressed = false;
    bool FirstShow = true;
    bool SplashShowing = false;
    // The segment cued last. A Slave's next cue is the one after it, whatever its selection:
    // a list received anew clears the selection, not what plays.
    int CuedSegment = -1;
    // Where the media stands against the segment cued last: paused at its start (a cue or a
    // rewind), somewhere within its range, or anywhere with the range to the end of the media
    // (a seek).
    enum class Place { SegmentStart, InSegment, Anywhere };
    Place MediaPlace = Place::Anywhere;
    // A Slave that ran to its Out point and wrapped by itself plays the first segment already.
    bool WrappedToFirstSegment = false;
    QSet<QString> ReportedMismatches;
    RejectedCommands rejected_;
    bool RejectedFlushArmed = false;
    QPointer<TfSplash> Splash;
    StatusDesk* statusDesk_ = nullptr;
    SlaveStatusDesk* slaveStatus_ = nullptr;
    // Set from the close on: nothing is sent or opened any more.
    bool Closing = false;
    // What the window titles carry after the program's own, from the settings file's optional
    // "[Window] TitleSuffix=": an installer with several instances on one screen, or several
    // screens, tells the windows apart by it. Read once, at the first show.
    QString TitleSuffix;
    // The width the window was designed for; it may be widened, not narrowed.
    int DesignWidth = 0;
    // What each link status box shows.
    QHash<QWidget*, LinkStatus> linkStatus_;
    // One backend per kind of link, for the window's life; link_ is the one in use.
    std::unique_ptr<LanMasterLink> masterLink_;
    std::unique_ptr<LanSlaveLink> slaveLink_;
    std::unique_ptr<SerialChainLink> serialLink_;
    SyncLink* link_ = nullptr;
    // The show this instance plays, from the settings file's optional "[System] ShowName=": a
    // Master tells its Slaves, a Slave follows no Master of another show.
    QString ShowName;
    // Slave: what the Master said of itself (none: it said nothing), and the refusal logged last.
    std::optional<MasterHello> LinkedMaster;
    // Slave: the shared clock and the reports follow the Master of this connection.
    bool FollowingMaster = false;
    QString MasterRefusalLogged;

    // 0 for an orderly end; EXIT_FAILURE after a damaged language file.
    int ExitStatus = 0;
    // A service manager is stopping the program: a failure is logged, never asked about.
    bool Unattended = false;
    // Kept while it cannot be opened: the file box shows nothing then (so a Play does not try
    // it again), but the stored setting and the retry still name it.
    QString MissingMediaFile;
    QString FailedMediaFile;
    // The failed file as it was then (see fileStamp): it is tried again once it changed.
    QString FailedMediaStamp;
    QTimer* MediaRetryTimer = nullptr;
    bool RetryingMedia = false;
    bool UpdatingFileBox = false;
    // The operator is choosing a file: its failure is told by the choice.
    bool ChoosingMediaFile = false;
    // The box that says a media file is tried again, while it is up; -1: none.
    int MediaNotice = -1;
    // Master: the segment playing and when its first frame after the cue appeared.
    std::optional<JoinOrder> ShowStarted;
    // Slave: a join not yet carried out; whether the coming "Play" was already acted on.
    std::optional<JoinOrder> PendingJoin;
    bool StartedOnSharedTime = false;
    // Slave: a join that waits for media and clock or found its segment over; the loop's wrap
    // lets it in, as no cue and no "Play" follow a wrap that plays on.
    bool JoinWaiting = false;
    // What the clock's log said last, so that it says each state once.
    bool ClockSettledLogged = false;
    bool ClockUnreachableLogged = false;
    qint64 ClockFollowedSinceMs = 0;
    qint64 ClockStateLoggedMs = 0;
    QString ClockSetupKey;
    // Slave: the Master's address as the link found it; the clock is asked there.
    QString ClockMasterAddress;
    int ClockStepsSeen = 0;
    // Publishing: the failure said last; none before the first word on it.
    std::optional<QString> ClockPublishError;
    // The key event the window's key handlers saw last, to tell its offers to parents apart.
    struct {
        const QKeyEvent* event = nullptr;
        quint64 timestamp = 0;
        QPointer<QWidget> receiver;
    } lastKey_;
};

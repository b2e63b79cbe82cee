#pragma once

#include "app/join_cue.h"
#include "app/lan_master_link.h"
#include "app/lan_slave_link.h"
#include "app/operator_table.h"
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
class MasterStatusKeeper;
class SlaveShowReporter;
class QTimer;
class ShowController;
class ShowHooks;
class ShowStatusModel;
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

// The program's one main window: the operator's controls, the links and the status, around the
// show's controller (ShowController), which holds the show. The controls are the settings'
// view of the controller's model: a change of either is carried to the other
// (frame_lock_show.cpp), and each handler is a call into the controller.
//
// The class is split over files by concern: frame_lock.cpp (start-up, shut-down),
// frame_lock_links.cpp, frame_lock_protocol.cpp, frame_lock_sequencing.cpp,
// frame_lock_controls.cpp, frame_lock_show.cpp and frame_lock_operations.cpp. Everything runs on
// the user-interface thread.
class TfFrameLock : public QWidget {
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
    // The show: its model, the operator's operations and the received commands.
    ShowController& controller() const { return *show_; }
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
    void StartTimerTimer();
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
    // A Slave that connects while the show plays is told where it stands.
    void JoinSlave(TSimpleTCPClient* slave);

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
    void FormDblClick();
    void FlashLed(TLedIndicator* led);
    void ledtimerTimer();
    void bHelpClick();
    void bAboutClick();

    // The Slaves' status on the Master and what a LAN Slave reports (frame_lock_status.cpp).
    void PreflightCheck();
    // The show went back to its first segment by itself (at the Out point, or on the Master's
    // word) while the media ran on.
    void StatusLooped();

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
    // The show's controller and the window's part in it (frame_lock_show.cpp): the controls
    // follow its model and it follows the controls.
    void createShow();
    void followControls();
    void renderShow();
    // The shared clock's state in the link status boxes.
    void ShowClockStatus();
    void RegisterOperations();
    friend class FrameLockShowHooks;

    // The shared clock (frame_lock_clock.cpp).
    void createSharedClock();
    void createRemote();
    void followShowWithRemote();

    // Ending the run; the media file's failure and its retry (the controller's MediaRetry), as
    // the boxes and the Slave's report show them.
    void EndProgram();
    void followMediaRetry();
    void MediaFileFailed(const QString& fileName);
    int ShowMediaMessage(const QString& messageKey, const QString& titleKey, int flags);
    // The language's message, then why the file failed and its name.
    QString MediaFailureText(const QString& messageKey) const;
    // The media file opened: its failure is over, on screen and in the Slave's report.
    void MediaOpened();
    void SetFileBoxQuietly(const QString& text);

    // The Slaves' status (frame_lock_status.cpp).
    void createStatusDesk();
    // The connected Slaves as the list shows them, each with its media's summary as its tip.
    void RenderSlaveList(const QStringList& entries, const QStringList& hints);

    FrameLockServices services_;
    std::unique_ptr<Ui::TfFrameLock> ui;
    std::unique_ptr<TGraphPlayer> player_;
    std::unique_ptr<ShowHooks> showHooks_;
    ShowController* show_ = nullptr;
    // The controls are being set from the show's model: they do not tell it back.
    bool RenderingShow = false;
    OperatorTable operators_;
    ShowStatusModel* statusModel_ = nullptr;
    std::unique_ptr<RemoteLayer> remote_;

    bool UpdatingPositionBar = false;
    bool FrameBoxEdited = false;
    bool UnlockKeyPressed = false;
    bool FirstShow = true;
    bool SplashShowing = false;
    QPointer<TfSplash> Splash;
    // What a LAN Master keeps of its Slaves.
    MasterStatusKeeper* statusKeeper_ = nullptr;
    // What a LAN Slave reports to its Master.
    SlaveShowReporter* slaveReporter_ = nullptr;
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

    // 0 for an orderly end; EXIT_FAILURE after a damaged language file.
    int ExitStatus = 0;
    // A service manager is stopping the program: a failure is logged, never asked about.
    bool Unattended = false;
    bool UpdatingFileBox = false;
    // The key event the window's key handlers saw last, to tell its offers to parents apart.
    struct {
        const QKeyEvent* event = nullptr;
        quint64 timestamp = 0;
        QPointer<QWidget> receiver;
    } lastKey_;
};

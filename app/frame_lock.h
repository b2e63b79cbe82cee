#pragma once

#include "app/receive_assembler.h"
#include "app/sync_command.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class DialogService;
class MediaService;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class StatusDesk;
class QTimer;
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
    TGraphPlayer& player() const { return *player_; }
    const ReceiveAssembler& assembler() const { return assembler_; }
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

    // State, start-up and shut-down.
    void FormShow();
    void FormClose();
    void StopStartTimers();
    void CountdownTimerTimer();
    void OpenTimerTimer();

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

    // Protocol.
    void SendCommand(const QByteArray& command);
    void ReceiveData(QByteArrayView chunk);
    void DispatchCommand(const QByteArray& command);
    void ClientRead(QObject* Sender, const char* Buffer, qint32 BufLength);
    void ServerClientRead(QObject* Sender, TSimpleTCPClient* Client, const char* Buffer,
                          qint32 Length);
    void ComPort1RxChar(QObject* Sender, int Count);

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

    // Operator controls and indicators.
    void FormKeyDown(QObject* Sender, int Key, Qt::KeyboardModifiers Shift);
    void FormKeyPress(QObject* Sender, QChar Key);
    void cbLockClick();
    void cbLockMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift);
    void sbUSAClick();
    // False when the language file was damaged and the program is ending.
    bool SetLanguage(int index);
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
    void StatusSegmentStarted();
    void StatusNoteError(const QString& text);
    void PreflightCheck();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
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
    void ApplyLinkDevicePaths();
    void OpenComPort(TComPort& port, int number, const char* errorKey);
    void ChooseComPort(QComboBox& box, int otherPort, const std::function<void(int)>& store);
    void ShowStatus(QLineEdit* box, const QString& text);
    void ShowComFailure(const QString& text);
    // The list's selection is the current segment; -1 selects nothing.
    void SelectSyncPoint(int row);
    std::int32_t InPoint() const;
    QStringList SyncPoints() const;
    bool IsMaster() const;
    bool IsLan() const;

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
    void commandClearList() override;
    void commandListItem(std::int32_t syncPoint) override;
    void commandCueSegment(std::int32_t index) override;
    void commandRefused(QByteArrayView command) override;

    void createStatusDesk();
    void StatusPollTimer();
    void StatusSampleTimer();
    void ReportStatus();
    void RecordSlaveStart(const TSimpleTCPClient& slave);
    void RefreshStatusWords();
    QString SlaveName(const TSimpleTCPClient& slave) const;

    FrameLockServices services_;
    std::unique_ptr<Ui::TfFrameLock> ui;
    std::unique_ptr<TGraphPlayer> player_;
    ReceiveAssembler assembler_;

    bool UpdatingPositionBar = false;
    bool FrameBoxEdited = false;
    bool UnlockKeyPressed = false;
    bool FirstShow = true;
    bool SplashShowing = false;
    // The segment cued last. A Slave's next cue is the one after it, whatever its selection:
    // a list received anew clears the selection, not what plays.
    int CuedSegment = -1;
    QPointer<TfSplash> Splash;
    StatusDesk* statusDesk_ = nullptr;
    // Set from the close on: nothing is sent or opened any more.
    bool Closing = false;
    // The key event the window's key handlers saw last, to tell its offers to parents apart.
    struct {
        const QKeyEvent* event = nullptr;
        quint64 timestamp = 0;
        QPointer<QWidget> receiver;
    } lastKey_;
};

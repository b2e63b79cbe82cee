#include "app/window/frame_lock.h"

#include "app/kt_props.h"
#include "media/graph_player.h"
#include "media/media_log.h"
#include "media/media_service.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "storage/framelock_settings.h"
#include "storage/gui/form_storage.h"
#include "storage/kt_language.h"
#include "storage/profile_file.h"
#include "storage/windows1252.h"
#include "ui_fFrameLock.h"
#include "widgets/dialog_service.h"
#include "widgets/gui/splash_window.h"
#include "widgets/product_info.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

namespace {

constexpr int kHintDisplayMs = 5000;
// A media file missing at start-up (a drive not yet mounted) is looked for this often.
constexpr int kMediaRetryMs = 3000;

QTimer* makeTimer(QObject* owner, const char* name, int interval, bool running) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(interval);
    if (running) {
        timer->start();
    }
    return timer;
}

}  // namespace

TfFrameLock::TfFrameLock(FrameLockServices services, QWidget* parent)
    : QWidget(parent),
      services_(std::move(services)),
      ui(std::make_unique<Ui::TfFrameLock>()),
      assembler_([this](const QByteArray& command) { DispatchCommand(command); }) {
    ui->setupUi(this);
    createComponents();
    createPlayer();
    connectHandlers();
    FormCreate();
}

TfFrameLock::~TfFrameLock() {
    // The settings are written while every component still exists.
    FormStorage->FormDestroy();
    qApp->removeEventFilter(this);
}

void TfFrameLock::createComponents() {
    Server = new TSimpleTCPServer(this);
    Server->setObjectName(QStringLiteral("Server"));
    Server->setPort(8234);
    Client = new TSimpleTCPClient(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setHost(QStringLiteral("127.0.0.1"));
    Client->setPort(8234);
    // The ports' own defaults are the link's: 9600 baud, 8 data bits, no parity, one stop bit,
    // no flow control, handlers on the user-interface thread.
    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    ComPort2 = new TComPort(this);
    ComPort2->setObjectName(QStringLiteral("ComPort2"));
    ComportsNr = new TktProps(this);
    ComportsNr->setObjectName(QStringLiteral("ComportsNr"));

    lang = new TktLanguage(this, services_.dialogs);
    lang->setObjectName(QStringLiteral("lang"));
    lang->setKtLanguageFile1(QStringLiteral("english.lng"));
    lang->setKtLanguageFile2(QStringLiteral("german.lng"));
    lang->setKtLanguageFile3(QStringLiteral("french.lng"));
    lang->setKtExpectedProbs(78);
    lang->setProgramDir(services_.programDir);
    // A damaged language file is a failed start: the window closes (writing its settings) and
    // the run ends with a failure a service manager can see.
    lang->Terminate = [this](QObject*) {
        ExitStatus = EXIT_FAILURE;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    };

    StatusTimer = makeTimer(this, "StatusTimer", 1000, true);
    CountdownTimer = makeTimer(this, "CountdownTimer", 1000, true);
    OpenTimer = makeTimer(this, "OpenTimer", 2000, false);
    ClientStatusTimer = makeTimer(this, "ClientStatusTimer", 2000, false);
    StartTimer = makeTimer(this, "StartTimer", 400, false);
    TestTimer = makeTimer(this, "TestTimer", 1000, false);
    ledtimer = makeTimer(this, "ledtimer", 150, false);
    ComRetryTimer = makeTimer(this, "ComRetryTimer", 2000, false);
    MediaRetryTimer = makeTimer(this, "MediaRetryTimer", kMediaRetryMs, false);

    createSharedClock();
    FormStorage = new TFormStorage(this, services_.dialogs);
    FormStorage->setObjectName(QStringLiteral("FormStorage"));
    FormStorage->setStoredProps(frameLockStoredProps());

    for (TktSpinEdit* edit : {ui->eIn, ui->seAktFrame}) {
        edit->setDialogs(services_.dialogs);
    }
}

void TfFrameLock::createPlayer() {
    GraphPlayerOwner owner;
    owner.fileBoxText = [this] { return ui->eFilename->text(); };
    owner.clearFileBox = [this] { MediaFileFailed(); };
    owner.window = this;
    owner.left = [this] { return frameGeometry().x(); };
    owner.top = [this] { return frameGeometry().y(); };
    owner.setVisible = [this](bool visible) { setVisible(visible); };
    owner.setStatusTimerEnabled = [this](bool on) {
        if (on) {
            StatusTimer->start();
        } else {
            StatusTimer->stop();
        }
    };
    owner.showMessageByKey = [this](const QString& message, const QString& title, int flags) {
        StatusNoteError(lang->TextByKey(message));
        return ShowMediaMessage(message, title, flags);
    };
    owner.rewindLocal = [this] { RewindLocal(); };
    owner.fullScreenOnPlay = [this] { FullScreenOnPlay(); };
    owner.segmentComplete = [this] { SegmentComplete(); };
    owner.captionSuffix = [this] { return TitleSuffixText(); };
    player_ = std::make_unique<TGraphPlayer>(services_.makeMediaService(), std::move(owner));
}

void TfFrameLock::FormCreate() {
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive && isMinimized()) {
            showNormal();
            raise();
        }
    });
    for (QWidget* control : findChildren<QWidget*>()) {
        control->setToolTipDuration(kHintDisplayMs);
    }
    FormStorage->setIniFileName(services_.programDir + QStringLiteral("frameLock.ini"));
    FormStorage->setIniSection(QStringLiteral("System"));
    // At run time each role group and each link group stands in one shared place.
    for (QWidget* group :
         {static_cast<QWidget*>(ui->gbSlave), static_cast<QWidget*>(ui->gbLanSlave),
          static_cast<QWidget*>(ui->gbCom)}) {
        group->move(0, group->y());
    }
    ui->gbSlave->move(0, ui->gbMaster->y());
    ui->gbSlave->setVisible(false);
    setWindowTitle(product::kTitle);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    qApp->installEventFilter(this);
    FitToContents();
    // Centred at the first start; a stored position replaces this when the settings load.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TfFrameLock::FitToContents() {
    int bottom = 0;
    int right = 0;
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && widget->isVisibleTo(this)) {
            bottom = std::max(bottom, widget->geometry().bottom() + 1);
            right = std::max(right, widget->geometry().right() + 1);
        }
    }
    setFixedSize(right, bottom + 4);
}

QString TfFrameLock::TitleSuffixText() const {
    return TitleSuffix.isEmpty() ? QString() : QStringLiteral(" \u2013 ") + TitleSuffix;
}

TfSplash* TfFrameLock::splash() const {
    return Splash;
}

bool TfFrameLock::IsMaster() const {
    return ui->rbMaster->isChecked();
}

bool TfFrameLock::IsLan() const {
    return ui->rbLan->isChecked();
}

bool TfFrameLock::event(QEvent* event) {
    if (event->type() == GraphNotifyEvent) {
        player_->HandleMediaEvent();
        return true;
    }
    return QWidget::event(event);
}

void TfFrameLock::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TfFrameLock::FormShow() {
    if (!FirstShow) {
        return;
    }
    FirstShow = false;
    TitleSuffix =
        decodeWindows1252(readProfileFile(services_.programDir + QStringLiteral("frameLock.ini"))
                              .readString("Window", "TitleSuffix", QByteArray())
                              .trimmed());
    if (!SetLanguage(ui->sbUSA->isChecked() ? 0 : 1)) {
        // The program is ending: nothing is opened.
        FormStorage->setActive(false);
        return;
    }
    ui->tbSync->setValue(StartTimer->interval());
    ui->lMasterIP->setText(Server->LocalIP());
    Server->setListen(false);
    Client->setConnected(false);
    Client->setHost(ui->eSlaveIP->text());
    ui->eFilename->setToolTip(ui->eFilename->text());
    {
        const QScopedValueRollback atStart(OpeningMediaAtStart, true);
        player_->OpenMedia();
    }
    ApplyRoleLayout();
    ReportSettingsAccess();
    FormStorage->setActive(false);
}

void TfFrameLock::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        FormClose();
    }
}

void TfFrameLock::FormClose() {
    if (Closing) {
        return;
    }
    Closing = true;
    MediaRetryTimer->stop();
    // Back to the control window first: the video goes with the media, and the window's place
    // is saved from its frame.
    if (player_->FullScreenActive()) {
        player_->SetFullScreen(false);
    }
    player_->CloseMedia();
    player_->ReleaseGraph();
    Client->setConnected(false);
    Server->setListen(false);
    ComPort1->Close();
    ComPort2->Close();
    ClientStatusTimer->stop();
    ComRetryTimer->stop();
    if (!MissingMediaFile.isEmpty() && ui->eFilename->text().isEmpty()) {
        SetFileBoxQuietly(MissingMediaFile);
    }
    ClockTimer->stop();
    FormStorage->setActive(true);
    if (Unattended) {
        FormStorage->setDialogs(nullptr);
    }
    // Written now, while the window manager still frames the window: once it is hidden its
    // frame is no longer known, and the position saved at destruction would be the client's.
    FormStorage->SaveAsWindowEnds();
    StopStartTimers();
    CountdownTimer->stop();
    EndProgram();
}

void TfFrameLock::Terminate() {
    Unattended = true;
    if (!Closing) {
        close();
    }
    // A window that was never shown gets no close event.
    FormClose();
    EndProgram();
}

void TfFrameLock::EndProgram() {
    // Ends every loop at once, a box's or the splash's included; a box asked for later returns
    // at once too, so nothing after this waits on an answer.
    if (services_.endProgram) {
        services_.endProgram(ExitStatus);
    }
}

void TfFrameLock::SetFileBoxQuietly(const QString& text) {
    const QScopedValueRollback updating(UpdatingFileBox, true);
    ui->eFilename->setText(text);
}

void TfFrameLock::MediaFileFailed() {
    FailedMediaFile = ui->eFilename->text();
    if ((OpeningMediaAtStart || RetryingMedia) && !FailedMediaFile.isEmpty()) {
        if (MissingMediaFile != FailedMediaFile) {
            qCInfo(lcMedia).noquote()
                << "trying again every" << kMediaRetryMs / 1000 << "s to open" << FailedMediaFile;
        }
        MissingMediaFile = FailedMediaFile;
        MediaRetryTimer->start();
    }
    SetFileBoxQuietly(QString());
}

int TfFrameLock::ShowMediaMessage(const QString& messageKey, const QString& titleKey, int flags) {
    if (RetryingMedia) {
        // Reported once, when the file first failed.
        return MessageBoxResult::Ok;
    }
    const QString title = lang->TextByKey(titleKey);
    QString text = lang->TextByKey(messageKey);
    if (!FailedMediaFile.isEmpty()) {
        text += QLatin1Char('\n') + (QFileInfo::exists(FailedMediaFile)
                                         ? FailedMediaFile
                                         : QStringLiteral("not found: ") + FailedMediaFile);
    }
    if (!OpeningMediaAtStart) {
        return services_.dialogs->messageBox(text, title, flags);
    }
    // A box at start-up waits for an operator who may never come: it is shown once the start
    // is done, so the link is open and the retry can find the file while it is up.
    QTimer::singleShot(0, this, [this, text, title, flags] {
        if (!Closing) {
            services_.dialogs->messageBox(text, title, flags);
        }
    });
    return MessageBoxResult::Ok;
}

void TfFrameLock::MediaRetryTimerTimer() {
    if (Closing || player_->MediaOpen() || MissingMediaFile.isEmpty()) {
        MediaRetryTimer->stop();
        return;
    }
    // Not handed to the media while absent: every attempt would log the same failure.
    if (!QFileInfo::exists(MissingMediaFile)) {
        return;
    }
    SetFileBoxQuietly(MissingMediaFile);
    {
        const QScopedValueRollback retrying(RetryingMedia, true);
        player_->OpenMedia();
    }
    if (player_->MediaOpen()) {
        MissingMediaFile.clear();
        MediaRetryTimer->stop();
        ui->eFilename->setToolTip(ui->eFilename->text());
    }
}

void TfFrameLock::StopStartTimers() {
    StartTimer->stop();
    PlayTimer->stop();
    OpenTimer->stop();
    StopTestMode();
}

void TfFrameLock::CountdownTimerTimer() {
    CountdownTimer->stop();
    if (Closing) {
        return;
    }
    if (ComportsNr->ktBoolean()) {
        auto* splash = new TfSplash(*services_.dialogs, IsMaster(), this);
        Splash = splash;
        SplashShowing = true;
        splash->exec();
        SplashShowing = false;
    }
    if (!Closing && IsMaster() && ui->cbAutoStart->isChecked()) {
        OpenTimer->start();
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void TfFrameLock::OpenTimerTimer() {
    if (QGuiApplication::overrideCursor()) {
        QGuiApplication::restoreOverrideCursor();
    }
    OpenTimer->stop();
    StopTestMode();
    SendSyncList();
    SendStartPlace();
    FullScreenOnPlay();
    ArmStart();
}

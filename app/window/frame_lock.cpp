#include "app/window/frame_lock.h"

#include "app/kt_props.h"
#include "app/media_retry.h"
#include "app/show_controller.h"
#include "app/show_hooks.h"
#include "app/slave_show_reporter.h"
#include "app/status_words.h"
#include "media/graph_player.h"
#include "media/media_log.h"
#include "media/media_service.h"
#include "net/remote_layer.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "storage/framelock_settings.h"
#include "storage/gui/form_storage.h"
#include "storage/kt_language.h"
#include "storage/profile_file.h"
#include "storage/windows1252.h"
#include "storage/wording.h"
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
    : QWidget(parent), services_(std::move(services)), ui(std::make_unique<Ui::TfFrameLock>()) {
    ui->setupUi(this);
    DesignWidth = width();
    createComponents();
    createPlayer();
    createShow();
    followMediaRetry();
    connectHandlers();
    RegisterOperations();
    FormCreate();
}

TfFrameLock::~TfFrameLock() {
    // The settings are written while every component still exists.
    FormStorage->FormDestroy();
    qApp->removeEventFilter(this);
    // The controls die after the window's own parts: what they say then is for nobody.
    for (QObject* control :
         std::initializer_list<QObject*>{ui->lbCut->model(), ui->lbCut, ui->eIn}) {
        disconnect(control, nullptr, this, nullptr);
    }
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

    createSharedClock();
    createRemote();
    FormStorage = new TFormStorage(this, services_.dialogs);
    FormStorage->setObjectName(QStringLiteral("FormStorage"));
    FormStorage->setStoredProps(frameLockStoredProps());
    FormStorage->setWording(OperatorWording());

    for (TktSpinEdit* edit : {ui->eIn, ui->seAktFrame}) {
        edit->setDialogs(services_.dialogs);
    }
}

void TfFrameLock::createPlayer() {
    player_ = std::make_unique<TGraphPlayer>(services_.makeMediaService(), this);
    // The file box is the player's file.
    player_->setFileName(ui->eFilename->text());
    connect(ui->eFilename, &QLineEdit::textChanged, player_.get(), &TGraphPlayer::setFileName);
    connect(player_.get(), &TGraphPlayer::controlWindowWanted, this, [this](bool visible) {
        setVisible(visible);
        if (visible) {
            StatusTimer->start();
        } else {
            StatusTimer->stop();
        }
    });
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
    FitStatusBoxes();
    int bottom = 0;
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && widget->isVisibleTo(this)) {
            bottom = std::max(bottom, widget->geometry().bottom() + 1);
        }
    }
    // As high as its groups; as wide as the operator likes, for long status lines.
    setMinimumSize(DesignWidth, bottom + 4);
    setMaximumSize(QWIDGETSIZE_MAX, bottom + 4);
}

QString TfFrameLock::TitleSuffixText() const {
    return TitleSuffix.isEmpty() ? QString() : QStringLiteral(" \u2013 ") + TitleSuffix;
}

TfSplash* TfFrameLock::splash() const {
    return Splash;
}

bool TfFrameLock::IsMaster() const {
    return show_->isMaster();
}

bool TfFrameLock::IsLan() const {
    return show_->isLan();
}

bool TfFrameLock::event(QEvent* event) {
    if (event->type() == GraphNotifyEvent) {
        player_->HandleMediaEvent();
        return true;
    }
    if (event->type() == QEvent::Move || event->type() == QEvent::Show) {
        // The video window opens beside the window's frame.
        player_->setOwnerPlace(frameGeometry().topLeft());
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
    player_->setCaptionSuffix(TitleSuffixText());
    if (!SetLanguage(ui->sbUSA->isChecked() ? 0 : 1)) {
        // The program is ending: nothing is opened.
        FormStorage->setActive(false);
        return;
    }
    ui->tbSync->setValue(StartTimer->interval());
    show_->setSyncTime(StartTimer->interval());
    ui->lMasterIP->setText(Server->LocalIP());
    Server->setListen(false);
    Client->setConnected(false);
    Client->setHost(ui->eSlaveIP->text());
    ui->eFilename->setToolTip(ui->eFilename->text());
    player_->OpenMedia();
    ApplyRoleLayout();
    OpenRemote();
    ReportSettingsAccess();
    FormStorage->setActive(false);
}

void TfFrameLock::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    StretchToWidth();
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
    remote_.reset();
    show_->mediaRetry().end();
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
    if (show_->mediaRetry().awaits(ui->eFilename->text())) {
        SetFileBoxQuietly(show_->mediaRetry().awaitedFile());
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

void TfFrameLock::followMediaRetry() {
    // After the controller's own handler: the failure is known to the retry when it is told.
    connect(player_.get(), &TGraphPlayer::openFailed, this,
            [this](const QString& fileName) { MediaFileFailed(fileName); });
    MediaRetry& retry = show_->mediaRetry();
    retry.setDialogs(services_.dialogs);
    connect(&retry, &MediaRetry::fileBoxWanted, this,
            [this](const QString& text) { SetFileBoxQuietly(text); });
    connect(&retry, &MediaRetry::reopened, this, [this] {
        ui->eFilename->setToolTip(ui->eFilename->text());
        MediaOpened();
    });
}

void TfFrameLock::MediaFileFailed(const QString& fileName) {
    // Told to the Master in English, as its event log keeps it.
    slaveReporter_->noteError(StatusWords{}.mediaFailed + QLatin1Char(' ') +
                              QFileInfo(fileName).fileName());
    ShowMediaMessage(QStringLiteral("ErrMsg_OpenFile"), QStringLiteral("ErrTitel_SetOpenFile"),
                     MessageBoxFlags::IconError);
}

QString TfFrameLock::MediaFailureText(const QString& messageKey) const {
    const Wording say = OperatorWording();
    const QString& failed = show_->mediaRetry().failedFile();
    QString text = lang->TextByKey(messageKey);
    if (failed.isEmpty()) {
        return text;
    }
    text += QLatin1Char('\n') + (QFileInfo::exists(failed)
                                     ? say("TxT_MediaUnplayable",
                                           "It is there, but its content cannot be played "
                                           "(an unknown format or a damaged file):")
                                     : say("TxT_MediaNotFound", "Not found:"));
    return text + QLatin1Char('\n') + failed;
}

int TfFrameLock::ShowMediaMessage(const QString& messageKey, const QString& titleKey, int flags) {
    MediaRetry& retry = show_->mediaRetry();
    // Reported once, when the file first failed; a file being chosen is reported by the choice.
    if (retry.openingQuietly()) {
        return MessageBoxResult::Ok;
    }
    const QString title = lang->TextByKey(titleKey);
    const QString text = MediaFailureText(messageKey);
    if (!retry.trying()) {
        return services_.dialogs->messageBox(
            text + QStringLiteral("\n\n") +
                OperatorWording()("TxT_MediaChooseAnother", "Please choose another file."),
            title, flags);
    }
    // The program deals with it by itself: the box says so, waits for nobody and goes when the
    // file opens. At start-up it comes once the start is done, so that the link is open.
    retry.noticeLater(text + QStringLiteral("\n\n") +
                          OperatorWording()("TxT_MediaRetry",
                                            "The program tries it again every 3 seconds and plays "
                                            "it as soon as it opens; this box then closes by "
                                            "itself."),
                      title, flags);
    return MessageBoxResult::Ok;
}

void TfFrameLock::MediaOpened() {
    show_->mediaRetry().closeNotice();
    // What the Slave told its Master about the failure is over.
    slaveReporter_->noteError(QString());
}

void TfFrameLock::MediaRetryTimerTimer() {
    show_->mediaRetry().retry();
}

void TfFrameLock::StopStartTimers() {
    OpenTimer->stop();
    show_->stopStartTimers();
}

void TfFrameLock::CountdownTimerTimer() {
    CountdownTimer->stop();
    if (Closing) {
        return;
    }
    if (ComportsNr->ktBoolean()) {
        auto* splash = new TfSplash(*services_.dialogs, IsMaster(), this, OperatorWording());
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
    show_->autoStart();
}

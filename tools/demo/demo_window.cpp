#include "tools/demo/demo_window.h"

#include "media/gst_media_service.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int SyncTimeMs = 400;
constexpr int StatusIntervalMs = 100;
constexpr int AutoStartDelayMs = 1000;
}  // namespace

DemoWindow::DemoWindow(const QString& fileName)
    : fileName_(fileName),
      dialogs_(this),
      status_(new QLabel(this)),
      startButton_(new QPushButton(QStringLiteral("Start (F1)"), this)),
      stopButton_(new QPushButton(QStringLiteral("Stop (F2)"), this)),
      fullScreenButton_(new QPushButton(QStringLiteral("Full screen (F5)"), this)) {
    setWindowTitle(QStringLiteral("frameLock PRO - Demo"));
    setObjectName(QStringLiteral("fFrameLock"));

    auto* intro = new QLabel(
        QStringLiteral("No media file is configured, so this demo plays a generated clip in four "
                       "segments. At every Sync point the video holds the next segment's first "
                       "frame for the sync time (%1 ms), then starts again; after the Out point "
                       "it loops.\nDouble-click the video or press Escape to leave full screen.")
            .arg(SyncTimeMs),
        this);
    intro->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton_);
    buttons->addWidget(stopButton_);
    buttons->addWidget(fullScreenButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    resize(460, 180);
    move(700, 120);

    connect(startButton_, &QPushButton::clicked, this, [this] { start(); });
    connect(stopButton_, &QPushButton::clicked, this, [this] { stop(); });
    connect(fullScreenButton_, &QPushButton::clicked, this,
            [this] { player_->SetFullScreen(true); });
    statusTimer_.setInterval(StatusIntervalMs);
    connect(&statusTimer_, &QTimer::timeout, this, [this] { updateStatus(); });
    syncTimer_.setSingleShot(true);
    syncTimer_.setInterval(SyncTimeMs);
    connect(&syncTimer_, &QTimer::timeout, this, [this] { player_->PlayMedia(); });

    GraphPlayerOwner owner;
    owner.fileBoxText = [this] { return fileName_; };
    owner.clearFileBox = [this] { fileName_.clear(); };
    owner.window = this;
    owner.left = [this] { return x(); };
    owner.top = [this] { return y(); };
    owner.setVisible = [this](bool visible) { setVisible(visible); };
    owner.setStatusTimerEnabled = [this](bool on) {
        if (on) {
            statusTimer_.start();
        } else {
            statusTimer_.stop();
        }
    };
    // The demo has no language files: message boxes show their keys.
    owner.showMessageByKey = [this](const QString& message, const QString& title, int flags) {
        return dialogs_.messageBox(message, title, flags);
    };
    owner.rewindLocal = [this] { rewindLocal(); };
    owner.segmentComplete = [this] { segmentComplete(); };
    player_ = std::make_unique<TGraphPlayer>(std::make_unique<GstMediaService>(), owner);

    statusTimer_.start();
    player_->OpenMedia();
    updateStatus();
    // Starts by itself, as a Master set to start automatically does, so a first look shows it.
    QTimer::singleShot(AutoStartDelayMs, this, [this] { start(); });
}

DemoWindow::~DemoWindow() {
    shutDown();
}

void DemoWindow::shutDown() {
    syncTimer_.stop();
    player_->CloseMedia();
    player_->ReleaseGraph();
}

void DemoWindow::closeEvent(QCloseEvent* event) {
    // The video window goes with the media, so the program ends with its last window.
    shutDown();
    QWidget::closeEvent(event);
}

std::int64_t DemoWindow::segmentStart(std::size_t segment) const {
    return segment == 0 ? 0 : syncPoints_[segment - 1];
}

void DemoWindow::cueSegment(std::size_t segment) {
    segment_ = segment;
    player_->SetPlayRange(segmentStart(segment), syncPoints_[segment]);
    player_->PauseMedia();
}

void DemoWindow::rewindLocal() {
    cueSegment(0);
}

void DemoWindow::segmentComplete() {
    if (!running_) {
        return;
    }
    cueSegment((segment_ + 1) % syncPoints_.size());
    syncTimer_.start();
}

void DemoWindow::start() {
    if (running_ || !player_->MediaOpen()) {
        return;
    }
    running_ = true;
    player_->PlayMedia();
}

void DemoWindow::stop() {
    running_ = false;
    syncTimer_.stop();
    player_->StopMedia();
    rewindLocal();
}

void DemoWindow::updateStatus() {
    if (!player_->MediaOpen()) {
        status_->setText(QStringLiteral("No media open."));
        return;
    }
    status_->setText(QStringLiteral("Segment %1 of %2 (frames %3 to %4)    frame %5    %6")
                         .arg(segment_ + 1)
                         .arg(syncPoints_.size())
                         .arg(segmentStart(segment_))
                         .arg(syncPoints_[segment_] - 1)
                         .arg(player_->CurrentFrame())
                         .arg(running_ ? (syncTimer_.isActive() ? QStringLiteral("waiting")
                                                                : QStringLiteral("playing"))
                                       : QStringLiteral("stopped")));
}

bool DemoWindow::event(QEvent* event) {
    if (event->type() == GraphNotifyEvent) {
        player_->HandleMediaEvent();
        return true;
    }
    return QWidget::event(event);
}

void DemoWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_F1:
            start();
            break;
        case Qt::Key_F2:
            stop();
            break;
        case Qt::Key_F5:
            player_->SetFullScreen(!player_->FullScreenActive());
            break;
        case Qt::Key_Escape:
            player_->SetFullScreen(false);
            break;
        default:
            QWidget::keyPressEvent(event);
            break;
    }
}

void DemoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (player_->FullScreenActive()) {
        player_->SetFullScreen(false);
    }
    QWidget::mouseDoubleClickEvent(event);
}

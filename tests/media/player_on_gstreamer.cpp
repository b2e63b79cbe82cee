#include "player_on_gstreamer.h"

#include "support/process_resources.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

void OwnerWindow::keyPressEvent(QKeyEvent* event) {
    keys.push_back(event->key());
}

void OwnerWindow::mouseDoubleClickEvent(QMouseEvent*) {
    ++doubleClicks;
}

bool OwnerWindow::event(QEvent* event) {
    if (event->type() == GraphNotifyEvent && player != nullptr) {
        player->HandleMediaEvent();
        return true;
    }
    return QWidget::event(event);
}

GraphPlayerOnGstreamer::GraphPlayerOnGstreamer() {
    auto gst = std::make_unique<GstMediaService>(probeOptions(probe));
    service = gst.get();
    owner.setWindowTitle(QStringLiteral("frameLock PRO"));
    owner.setGeometry(700, 50, 300, 200);
    owner.show();

    player = std::make_unique<TGraphPlayer>(std::move(gst), &owner);
    player->setOwnerPlace({700, 50});
    QObject::connect(player.get(), &TGraphPlayer::openFailed, [this](const QString&) {
        dialogs.messageBox(QStringLiteral("ErrMsg_OpenFile"),
                           QStringLiteral("ErrTitel_SetOpenFile"), MessageBoxFlags::IconError);
    });
    QObject::connect(player.get(), &TGraphPlayer::controlWindowWanted,
                     [this](bool on) { owner.setVisible(on); });
    QObject::connect(player.get(), &TGraphPlayer::graphBuilt, [this] {
        if (player->MediaOpen()) {
            player->SetPlayRange(0, player->DurationFrames());
            player->PauseMedia();
        }
    });
    QObject::connect(player.get(), &TGraphPlayer::rangeComplete, [this] {
        ++owner.completions;
        if (owner.onCompletion) {
            owner.onCompletion();
        }
    });
    owner.player = player.get();
}

VideoWindow* GraphPlayerOnGstreamer::videoWindow() const {
    GstGraph* graph = service->graph(MediaRef::VideoWindow);
    return graph != nullptr ? graph->videoWindow() : nullptr;
}

ProcessBaseline::ProcessBaseline()
    : descriptors(ProcessResources::openDescriptors()), threads(ProcessResources::threads()) {}

void ProcessBaseline::expectGivenBack() const {
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return ProcessResources::openDescriptors() == descriptors &&
                   ProcessResources::threads() <= threads;
        },
        5000))
        << "descriptors " << descriptors << " -> " << ProcessResources::openDescriptors()
        << ", threads " << threads << " -> " << ProcessResources::threads();
}

ClipSettings clip(ClipFormat format, std::int64_t frames, int fpsN, int fpsD) {
    ClipSettings s;
    s.format = format;
    s.frames = frames;
    s.fpsNumerator = fpsN;
    s.fpsDenominator = fpsD;
    return s;
}

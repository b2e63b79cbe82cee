#include "show_rig.h"

#include <QCoreApplication>

ShowRig::ShowRig(const Settings& settings) {
    auto service = std::make_unique<FakeMediaService>(mediaLog);
    media = service.get();
    media->config.duration = settings.duration;
    player = std::make_unique<TGraphPlayer>(std::move(service), this);
    player->setFileName(QStringLiteral("clip.avi"));
    // Long enough never to fire by itself while a test runs.
    for (QTimer* timer : {&startTimer, &testTimer}) {
        timer->setInterval(3'600'000);
    }
    playTimer.setSingleShot(true);
    show = std::make_unique<ShowController>(
        *player, hooks,
        [this](const QByteArray& command) { sent_ << QString::fromLatin1(command); },
        ShowTimers{&startTimer, &playTimer, &testTimer, &clockTimer});
    QObject::connect(show.get(), &ShowController::startArmed, this, [this] { ++startsArmed; });
    ShowModel model;
    model.master = settings.master;
    model.syncPoints = settings.syncPoints;
    model.inPoint = settings.inPoint;
    model.loop = settings.loop;
    show->takeSettings(model);
    player->OpenMedia();
    movesSeen_ = mediaLog->size();
}

ShowRig::~ShowRig() {
    player->CloseMedia();
    player->ReleaseGraph();
}

bool ShowRig::event(QEvent* event) {
    if (event->type() == GraphNotifyEvent) {
        player->HandleMediaEvent();
        return true;
    }
    return QObject::event(event);
}

void ShowRig::complete() {
    media->queueEvent(EC_COMPLETE);
    QCoreApplication::processEvents();
}

bool ShowRig::fireStart() {
    if (!startTimer.isActive()) {
        return false;
    }
    show->StartTimerTimer();
    return true;
}

void ShowRig::feed(const QStringList& commands) {
    for (const QString& command : commands) {
        show->DispatchCommand(command.toLatin1());
    }
}

QStringList ShowRig::sent() {
    const QStringList taken = sent_.mid(sentTaken_);
    sentTaken_ = sent_.size();
    return taken;
}

QStringList ShowRig::moves() {
    const QStringList calls = transport(*mediaLog, movesSeen_);
    movesSeen_ = mediaLog->size();
    return calls;
}

QStringList transport(const QStringList& log, qsizetype from) {
    QStringList calls;
    for (const QString& call : log.mid(from)) {
        if (call.startsWith(QStringLiteral("setPositions")) || call == QStringLiteral("pause") ||
            call == QStringLiteral("run") || call == QStringLiteral("stop")) {
            calls << call;
        }
    }
    return calls;
}

// The show's model and the operator's settings.
#include "app/show_controller.h"

#include "app/media_retry.h"
#include "app/show_hooks.h"
#include "media/graph_player.h"

#include <QTimer>
#include <utility>

ShowController::ShowController(TGraphPlayer& player, ShowHooks& hooks, Send send, ShowTimers timers,
                               QObject* parent)
    : QObject(parent), player_(player), hooks_(hooks), send_(std::move(send)), timers_(timers) {
    model_.syncTimeMs = timers_.start->interval();
    connect(timers_.start, &QTimer::timeout, this, [this] { StartTimerTimer(); });
    connect(timers_.play, &QTimer::timeout, this, [this] { PlayTimerTimer(); });
    connect(timers_.test, &QTimer::timeout, this, [this] { TestTimerTimer(); });
    connect(timers_.clock, &QTimer::timeout, this, [this] { ClockTimerTimer(); });
    retry_ = new MediaRetry(
        player_,
        MediaNeeds{[this] { return framesCued(model_.syncPoints, model_.inPoint); },
                   [this] { return CuedSegmentPlayable(); }, [this] { ReopenMedia(); }},
        this);
    connect(&player_, &TGraphPlayer::openFailed, retry_, &MediaRetry::fileFailed);
    connect(&player_, &TGraphPlayer::graphBuilt, retry_, &MediaRetry::opened);
    connect(&player_, &TGraphPlayer::graphBuilt, this, &ShowController::rewindLocal);
    connect(&player_, &TGraphPlayer::aboutToPlay, this, &ShowController::fullScreenOnPlay);
    connect(&player_, &TGraphPlayer::rangeComplete, this, &ShowController::segmentComplete);
    // What the show cues of the file may grow with its list or its In point.
    connect(this, &ShowController::syncPointsChanged, retry_, &MediaRetry::checkLength);
    connect(this, &ShowController::inPointChanged, retry_, &MediaRetry::checkLength);
}

ShowController::~ShowController() = default;

void ShowController::send(const QByteArray& command) {
    if (model_.master) {
        send_(command);
    }
}

bool ShowController::starting() const {
    return timers_.start->isActive() || timers_.play->isActive();
}

void ShowController::takeSettings(const ShowModel& settings) {
    model_.master = settings.master;
    model_.lan = settings.lan;
    model_.syncPoints = settings.syncPoints;
    model_.selection = settings.selection;
    model_.inPoint = settings.inPoint;
    model_.loop = settings.loop;
    model_.fullScreenWanted = settings.fullScreenWanted;
    model_.testMode = settings.testMode;
    model_.syncTimeMs = timers_.start->interval();
}

void ShowController::setRole(bool master) {
    if (master != model_.master) {
        model_.master = master;
        emit roleChanged(master);
    }
}

void ShowController::setLan(bool lan) {
    if (lan != model_.lan) {
        model_.lan = lan;
        emit linkChanged(lan);
    }
}

void ShowController::setSyncPoints(const QStringList& items) {
    if (items == model_.syncPoints) {
        return;
    }
    model_.syncPoints = items;
    emit syncPointsChanged(items);
    if (model_.selection >= items.size()) {
        model_.selection = -1;
        emit selectionChanged(-1);
    }
}

void ShowController::setSelection(int row) {
    if (row == model_.selection) {
        return;
    }
    model_.selection = row < model_.syncPoints.size() ? row : -1;
    emit selectionChanged(model_.selection);
}

void ShowController::setInPoint(std::int32_t frame) {
    if (frame == model_.inPoint) {
        return;
    }
    model_.inPoint = frame;
    emit inPointChanged(frame);
}

void ShowController::setLoop(bool on) {
    if (on != model_.loop) {
        model_.loop = on;
        emit loopChanged(on);
    }
    // At the last segment, Loop decides whether anything comes next.
    HintNextSegment();
    send(SyncCommand::loop(on));
}

void ShowController::setFullScreenWanted(bool on) {
    if (on != model_.fullScreenWanted) {
        model_.fullScreenWanted = on;
        emit fullScreenWantedChanged(on);
    }
    send(SyncCommand::fullScreenSetting(on));
}

void ShowController::setTestMode(bool on) {
    if (on) {
        timers_.test->start();
    } else {
        timers_.test->stop();
    }
    if (on != model_.testMode) {
        model_.testMode = on;
        emit testModeChanged(on);
    }
}

void ShowController::setSyncTime(int ms) {
    timers_.start->setInterval(ms);
    if (ms != model_.syncTimeMs) {
        model_.syncTimeMs = ms;
        emit syncTimeChanged(ms);
    }
}

void ShowController::setLanguage(int index) {
    if (hooks_.SetLanguage(index)) {
        send(SyncCommand::language(index));
    }
}

void ShowController::stopTestMode() {
    setTestMode(false);
}

void ShowController::stopStartTimers() {
    timers_.start->stop();
    timers_.play->stop();
    stopTestMode();
}

void ShowController::toggleFullScreen() {
    player_.SetFullScreen(!player_.FullScreenActive());
    send(SyncCommand::fullScreen(player_.FullScreenActive()));
}

void ShowController::fullScreenOnPlay() {
    if (!player_.FullScreenActive() && model_.fullScreenWanted) {
        send(SyncCommand::fullScreen(true));
        player_.SetFullScreen(true);
    }
}

void ShowController::leaveFullScreen() {
    if (!player_.FullScreenActive()) {
        return;
    }
    stop();
    player_.SetFullScreen(false);
    send(SyncCommand::fullScreen(false));
}

void ShowController::TestTimerTimer() {
    if (model_.master) {
        stepFrames(1);
    } else {
        stopTestMode();
    }
}

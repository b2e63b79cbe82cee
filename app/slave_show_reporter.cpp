#include "app/slave_show_reporter.h"

#include "app/monotonic_time.h"
#include "app/player_facts.h"
#include "app/segment_math.h"
#include "app/show_controller.h"
#include "media/graph_player.h"

#include <QDateTime>
#include <QSize>
#include <QTimer>
#include <algorithm>

namespace {

std::int64_t wallNowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

SlaveShowReporter::SlaveShowReporter(TGraphPlayer& player, const ShowController& show,
                                     Surroundings around, QObject* parent)
    : QObject(parent),
      player_(player),
      show_(show),
      around_(std::move(around)),
      poll_(new QTimer(this)),
      sample_(new QTimer(this)) {
    poll_->setInterval(PollMs);
    sample_->setSingleShot(true);
    sample_->setInterval(SampleMs);
    connect(poll_, &QTimer::timeout, this, [this] { poll(); });
    connect(sample_, &QTimer::timeout, this, [this] { sample(); });
}

void SlaveShowReporter::start() {
    poll_->start();
}

bool SlaveShowReporter::onLanSlave() const {
    return !show_.isMaster() && show_.isLan();
}

void SlaveShowReporter::afterCommand(const QByteArray& command) {
    if (!onLanSlave()) {
        return;
    }
    const QByteArrayView code =
        QByteArrayView(command).first(std::min<qsizetype>(command.size(), 4));
    const bool open = player_.MediaOpen();
    const std::int32_t inPoint = show_.model().inPoint;
    if (code == QByteArrayView(SyncCode::CueSegment) || code == QByteArrayView(SyncCode::Rewind)) {
        state_ = PlayState::Cued;
        cueFrame_ = open ? std::optional(player_.CurrentFrame() - inPoint) : std::nullopt;
        startFrame_.reset();
        startedAtMs_.reset();
        stillCueing_ = false;
    } else if (code == QByteArrayView(SyncCode::Play)) {
        const std::int64_t frame = open ? player_.StartFrame() : 0;
        playing(frame, SampleMs);
        // Started elsewhere than the first frame of the segment it was cued on.
        const std::optional<FrameRange> range =
            segmentRange(show_.model().syncPoints, std::max(show_.cuedSegment(), 0), inPoint,
                         player_.DurationFrames());
        stillCueing_ = range && frame != range->start;
    } else if (code == QByteArrayView(SyncCode::Stop) ||
               code == QByteArrayView(SyncCode::Position)) {
        state_ = PlayState::Stopped;
        startFrame_.reset();
        startedAtMs_.reset();
    } else {
        return;
    }
    if (!sampling_) {
        report();
    }
}

void SlaveShowReporter::looped() {
    if (onLanSlave() && player_.MediaOpen()) {
        playing(loopStartInFile(player_, show_.model()), SampleMs);
    }
}

void SlaveShowReporter::restarted() {
    // One that is cued for the first segment waits for its "Play".
    if (state_ == PlayState::Playing || state_ == PlayState::Ended) {
        looped();
    }
}

void SlaveShowReporter::joined(std::int64_t segmentStartInFile, std::int64_t startsInMs) {
    if (!onLanSlave()) {
        return;
    }
    // Counted from the segment's first frame, as if it had started there with the others: its
    // start then reads against the Master's like every other Slave's.
    playing(segmentStartInFile,
            static_cast<int>(std::clamp<std::int64_t>(startsInMs, 0, 60'000)) + SampleMs);
}

void SlaveShowReporter::noteError(const QString& text) {
    lastError_ = text;
    report();
}

void SlaveShowReporter::connected() {
    reporter_.reset();
    report();
}

void SlaveShowReporter::playing(std::int64_t startFrameInFile, int sampleAfterMs) {
    state_ = PlayState::Playing;
    startFrameInFile_ = startFrameInFile;
    startFrame_ = startFrameInFile - show_.model().inPoint;
    startedAtMs_.reset();
    stillCueing_ = false;
    lastPolledFrame_.reset();
    // Reported once the picture runs, with the time it started; a position that stands still
    // until then is not an end.
    sampling_ = true;
    sample_->start(sampleAfterMs);
}

void SlaveShowReporter::sample() {
    sampling_ = false;
    if (!player_.MediaOpen()) {
        return;
    }
    startedAtMs_ = pictureStartedAtMs(player_, startFrameInFile_, wallNowMs());
    report();
}

void SlaveShowReporter::poll() {
    if (around_.closing() || !onLanSlave()) {
        return;
    }
    if (state_ == PlayState::Playing && !sampling_ && player_.MediaOpen()) {
        // A range that has run out holds its last frame: the position stands still. A picture
        // that stalls stands still too, but its range has not run out: that is no end, or the
        // Slave would be listed as ended for the rest of the segment once it moves again.
        const std::int64_t frame = player_.CurrentFrame();
        if (lastPolledFrame_ == frame && !player_.PictureShouldMove()) {
            state_ = PlayState::Ended;
        }
        lastPolledFrame_ = frame;
    }
    report();
}

void SlaveShowReporter::report() {
    if (around_.closing() || !onLanSlave() || !around_.connected()) {
        return;
    }
    const bool open = player_.MediaOpen();
    StatusMedia media;
    media.open = open;
    media.fileName = around_.fileName();
    media.inPoint = show_.model().inPoint;
    media.version = around_.version;
    if (open) {
        const auto [numerator, denominator] = statusRate(player_);
        media.durationFrames = player_.DurationFrames();
        media.rateNumerator = numerator;
        media.rateDenominator = denominator;
        // Sound alone has no picture: its size is invalid (-1), which no Master accepts.
        const QSize size = player_.VideoSize().isValid() ? player_.VideoSize() : QSize(0, 0);
        media.width = size.width();
        media.height = size.height();
    }
    StatusPlay play;
    play.state = open ? state_ : PlayState::NoMedia;
    play.segment = show_.cuedSegment();
    play.cueFrame = cueFrame_;
    play.startFrame = startFrame_;
    play.startedAtMs = startedAtMs_;
    play.stillCueing = stillCueing_;
    play.fullScreen = player_.FullScreenActive();
    play.sentAtMs = wallNowMs();
    std::vector<QByteArray> commands;
    // While the start is sampled the report waits for its time; the heartbeat does not.
    if (!sampling_) {
        const StatusError error{lastError_.isEmpty() ? around_.linkText() : lastError_};
        commands = reporter_.changes(media, play, error);
    }
    // A start timed on the shared clock runs the player before its first frame is due (a join
    // may wait for the loop's wrap): until the start is sampled the picture may stand.
    const StatusBeat beat{play, shownFrame(player_, show_.model().inPoint),
                          player_.PictureShouldMove() && !sampling_, around_.screenName()};
    if (std::optional<QByteArray> command = reporter_.beat(beat, monotonicMs())) {
        commands.push_back(std::move(*command));
    }
    for (const QByteArray& command : commands) {
        around_.send(command);
    }
}

// The status back channel: a LAN Slave reports its media and its place in the show to its
// Master; the Master shows one line per Slave, checks the show at Start and keeps the show
// report.
#include "app/monotonic_time.h"
#include "app/window/frame_lock.h"

#include "app/app_log.h"
#include "app/segment_math.h"
#include "app/show_controller.h"
#include "app/window/status_desk.h"
#include "media/graph_player.h"
#include "net/net_log.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "storage/kt_language.h"
#include "storage/wording.h"
#include "ui_fFrameLock.h"
#include "widgets/product_info.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

namespace {

std::int64_t wallNowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Audio counts in 40-ms units: 25 to the second.
std::pair<std::int64_t, std::int64_t> rateOf(const TGraphPlayer& player) {
    const FrameRate rate = player.VideoFrameRate();
    if (rate.known()) {
        return {rate.numerator, rate.denominator};
    }
    return player.FrameUnit() == 1 ? std::pair<std::int64_t, std::int64_t>{0, 1}
                                   : std::pair<std::int64_t, std::int64_t>{25, 1};
}

}  // namespace

void TfFrameLock::createStatusDesk() {
    statusDesk_ = new StatusDesk(this, services_.programDir + QStringLiteral("frameLock-show.csv"));
    connect(statusDesk_->poll, &QTimer::timeout, this, [this] { StatusPollTimer(); });
    connect(statusDesk_->sample, &QTimer::timeout, this, [this] { StatusSampleTimer(); });
    connect(statusDesk_->refresh, &QTimer::timeout, this, [this] { ShowSlaveLines(); });
    connect(statusDesk_->flushLog, &QTimer::timeout, this, [this] { FlushSlaveLog(); });
    statusDesk_->poll->start();
}

void TfFrameLock::RefreshStatusWords() {
    if (statusDesk_->wordsLanguage == lang->LanguageIndex()) {
        return;
    }
    // The language component reads its file at every call: the words are read once per language.
    statusDesk_->wordsLanguage = lang->LanguageIndex();
    statusDesk_->words =
        StatusWords::fromLanguage([this](const QString& key) { return lang->TextByKey(key); });
}

QString TfFrameLock::SlaveName(const TSimpleTCPClient& slave) const {
    // The connection's own port is the server's, the same for every Slave; the peer's port tells
    // Slaves on one machine apart.
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(slave.socketHandle(), reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_family == AF_INET) {
        return slave.Host() + QLatin1Char(':') + QString::number(ntohs(peer.sin_port));
    }
    return slave.Host() + QLatin1Char(':') + QString::number(slave.Port());
}

void TfFrameLock::StatusReceived(TSimpleTCPClient* Client, QByteArrayView bytes) {
    if (!IsMaster() || Closing) {
        return;
    }
    if (statusDesk_->board.receive(Client, bytes, monotonicMs(), wallNowMs())) {
        if (!statusDesk_->refresh->isActive()) {
            statusDesk_->refresh->start();
        }
        RecordSlaveStart(*Client);
    }
}

void TfFrameLock::ShowSlaveLines(TSimpleTCPClient* Client) {
    StatusDesk& desk = *statusDesk_;
    const QList<TSimpleTCPClient*> slaves = Server->Clients();
    std::vector<SlaveStatusBoard::Key> keys(slaves.begin(), slaves.end());
    desk.board.retain(keys);
    if (Client != nullptr && slaves.contains(Client)) {
        // Just connected: whatever an earlier connection at the same place said is not its.
        desk.board.forget(Client);
    }
    RefreshStatusWords();
    const auto [numerator, denominator] = rateOf(*player_);
    desk.facts.syncPoints = SyncPoints();
    desk.facts.master = {desk.words.master, player_->MediaOpen(), player_->DurationFrames(),
                         numerator,         denominator,          InPoint()};
    QStringList lines;
    QStringList entries;
    QStringList hints;
    QStringList names;
    for (const TSimpleTCPClient* slave : slaves) {
        names << SlaveName(*slave);
        const SlaveStatus* status = desk.board.find(slave);
        const StatusText text =
            status != nullptr ? statusText(*status, desk.facts, desk.words) : StatusText{};
        // The log's lines are English in every language, to be found by the same words.
        const QString state =
            status != nullptr ? shortState(*status, desk.facts, StatusWords{}) : QString();
        lines << (state.isEmpty() ? names.back() : names.back() + QStringLiteral("  ") + state);
        entries << listEntry(names.back(), text);
        hints << (status != nullptr && status->media ? mediaSummary(*status->media, desk.words)
                                                     : QString());
    }
    if (lines == desk.shownLines && entries == ui->lbConnected->Items()) {
        return;
    }
    if (ui->lbConnected->count() != entries.size()) {
        ui->lbConnected->clear();
        ui->lbConnected->addItems(entries);
    }
    for (int row = 0; row < lines.size(); ++row) {
        QListWidgetItem* item = ui->lbConnected->item(row);
        if (item->text() != entries[row]) {
            item->setText(entries[row]);
        }
        // The whole entry too: a long one may still be cut at the list's edge.
        item->setToolTip(hints[row].isEmpty() ? entries[row]
                                              : entries[row] + QLatin1Char('\n') + hints[row]);
        if (!desk.shownLines.contains(lines[row])) {
            LogAboutSlave(true, slaves[row]->Host(), QStringLiteral("slave ") + lines[row]);
        }
    }
    for (const QString& name : std::as_const(desk.shownNames)) {
        if (!names.contains(name)) {
            LogAboutSlave(true, name.section(QLatin1Char(':'), 0, 0),
                          QStringLiteral("slave ") + name + QStringLiteral(" gone"));
        }
    }
    desk.shownLines = lines;
    desk.shownNames = names;
}

void TfFrameLock::LogAboutSlave(bool state, const QString& host, const QString& line) {
    StatusDesk& desk = *statusDesk_;
    const QStringList lines =
        (state ? desk.stateLog : desk.linkLog).note(host, line, monotonicMs());
    for (const QString& text : lines) {
        if (state) {
            qCInfo(lcSync).noquote() << text;
        } else {
            qCInfo(lcNet).noquote() << text;
        }
    }
    if (!desk.flushLog->isActive()) {
        FlushSlaveLog();
    }
}

void TfFrameLock::FlushSlaveLog() {
    StatusDesk& desk = *statusDesk_;
    const std::int64_t now = monotonicMs();
    for (const QString& text : desk.stateLog.flush(now)) {
        qCInfo(lcSync).noquote() << text;
    }
    for (const QString& text : desk.linkLog.flush(now)) {
        qCInfo(lcNet).noquote() << text;
    }
    std::optional<std::int64_t> due = desk.stateLog.flushDue();
    if (const std::optional<std::int64_t> link = desk.linkLog.flushDue(); link) {
        due = due ? std::min(*due, *link) : *link;
    }
    if (due) {
        desk.flushLog->start(static_cast<int>(std::clamp<std::int64_t>(*due - now, 0, 1000)));
    }
}

void TfFrameLock::PreflightCheck() {
    if (!IsMaster() || !IsLan()) {
        return;
    }
    ShowSlaveLines();
    const StatusDesk& desk = *statusDesk_;
    std::vector<InstanceMedia> instances{desk.facts.master};
    for (const TSimpleTCPClient* slave : Server->Clients()) {
        const SlaveStatus* status = desk.board.find(slave);
        if (status != nullptr && status->media) {
            instances.push_back(instanceMedia(SlaveName(*slave), *status->media));
        }
    }
    const QStringList syncPoints = desk.facts.syncPoints;
    const QStringList problems = preflightProblems(instances, syncPoints, StatusWords{});
    if (problems.isEmpty()) {
        qCInfo(lcSync) << "check at Start passed for" << instances.size() << "instances";
        if (ui->eServerStatus->text().startsWith(desk.words.checkFailed) && Server->Listen()) {
            ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ServerOK"));
        }
        return;
    }
    for (const QString& problem : problems) {
        qCWarning(lcSync).noquote() << "check at Start:" << problem;
    }
    // Shown, not asked: an unattended Auto Start must not wait for a click.
    ShowStatus(ui->eServerStatus, [instances, syncPoints](const Wording& say) {
        const StatusWords words = StatusWords::fromWording(say);
        return words.checkFailed + QLatin1Char(' ') +
               preflightProblems(instances, syncPoints, words).join(QStringLiteral("; "));
    });
}

void TfFrameLock::StatusSegmentStarted(std::optional<std::int64_t> startFrameInFile) {
    if (!IsMaster() || !IsLan() || !player_->MediaOpen()) {
        return;
    }
    StatusDesk& desk = *statusDesk_;
    const int segment = effectiveSegmentIndex(SyncPoints(), ui->lbCut->currentRow());
    desk.playSentMs = wallNowMs();
    desk.facts.startedSegment = segment;
    desk.facts.startedAtMs.reset();
    desk.startFrameInFile = startFrameInFile.value_or(player_->CurrentFrame());
    desk.startFrame = desk.startFrameInFile - InPoint();
    QStringList names{StatusWords{}.master};
    // Only Slaves that report have a start to tell; any other connection (an older program, a
    // remote control, a host that is not obeyed) would only add empty fields.
    for (const TSimpleTCPClient* slave : Server->Clients()) {
        const SlaveStatus* status = desk.board.find(slave);
        if (status != nullptr && status->play) {
            names << SlaveName(*slave);
        }
    }
    desk.report.begin(QDateTime::currentDateTime(), segment, names);
    desk.sample->start(StatusDesk::SampleMs);
}

void TfFrameLock::RecordSlaveStart(const TSimpleTCPClient& slave) {
    StatusDesk& desk = *statusDesk_;
    const SlaveStatus* status = desk.board.find(&slave);
    const std::optional<std::int64_t> started =
        status != nullptr ? status->startedAtMasterMs() : std::nullopt;
    // A start reported from before this one (the same segment, one loop earlier) is not it.
    if (!started || !status->play->startFrame || *started < desk.playSentMs - 1000) {
        return;
    }
    desk.report.record(SlaveName(slave), status->play->segment, *status->play->startFrame,
                       *started);
}

void TfFrameLock::StatusSampleTimer() {
    StatusDesk& desk = *statusDesk_;
    desk.sampling = false;
    if (!player_->MediaOpen()) {
        return;
    }
    const auto [numerator, denominator] = rateOf(*player_);
    const std::int64_t now = wallNowMs();
    const std::int64_t frame = player_->CurrentFrame();
    std::optional<std::int64_t> started;
    // A position that stands still at the start tells nothing (the picture has not moved yet, or
    // the segment is shorter than the sample's delay and has ended).
    if (frame > desk.startFrameInFile) {
        started = pictureStartMs(now, frame - desk.startFrameInFile, numerator, denominator);
    }
    if (IsMaster()) {
        desk.facts.startedAtMs = started;
        if (started) {
            desk.report.record(StatusWords{}.master, desk.facts.startedSegment, *desk.startFrame,
                               *started);
        }
        for (const TSimpleTCPClient* slave : Server->Clients()) {
            RecordSlaveStart(*slave);
        }
        ShowSlaveLines();
        return;
    }
    desk.startedAtMs = started;
    ReportStatus();
}

void TfFrameLock::StatusNoteError(const QString& text) {
    statusDesk_->lastError = text;
    ReportStatus();
}

void TfFrameLock::StatusConnected() {
    statusDesk_->reporter.reset();
    ReportStatus();
}

void TfFrameLock::StatusAfterCommand(const QByteArray& command) {
    if (IsMaster() || !IsLan()) {
        return;
    }
    StatusDesk& desk = *statusDesk_;
    const QByteArrayView code =
        QByteArrayView(command).first(std::min<qsizetype>(command.size(), 4));
    const bool open = player_->MediaOpen();
    if (code == QByteArrayView(SyncCode::CueSegment) || code == QByteArrayView(SyncCode::Rewind)) {
        desk.state = PlayState::Cued;
        desk.cueFrame = open ? std::optional(player_->CurrentFrame() - InPoint()) : std::nullopt;
        desk.startFrame.reset();
        desk.startedAtMs.reset();
        desk.stillCueing = false;
    } else if (code == QByteArrayView(SyncCode::Play)) {
        const std::int64_t frame = open ? player_->CurrentFrame() : 0;
        StatusPlaying(frame, StatusDesk::SampleMs);
        // Started elsewhere than the first frame of the segment it was cued on.
        const std::optional<FrameRange> range = segmentRange(
            SyncPoints(), std::max(show_->cuedSegment(), 0), InPoint(), player_->DurationFrames());
        desk.stillCueing = range && frame != range->start;
    } else if (code == QByteArrayView(SyncCode::Stop) ||
               code == QByteArrayView(SyncCode::Position)) {
        desk.state = PlayState::Stopped;
        desk.startFrame.reset();
        desk.startedAtMs.reset();
    } else {
        return;
    }
    if (!desk.sampling) {
        ReportStatus();
    }
}

void TfFrameLock::StatusPlaying(std::int64_t startFrameInFile, int sampleAfterMs) {
    StatusDesk& desk = *statusDesk_;
    desk.state = PlayState::Playing;
    desk.startFrameInFile = startFrameInFile;
    desk.startFrame = startFrameInFile - InPoint();
    desk.startedAtMs.reset();
    desk.stillCueing = false;
    desk.lastPolledFrame.reset();
    // Reported once the picture runs, with the time it started; a position that stands still
    // until then is not an end.
    desk.sampling = true;
    desk.sample->start(sampleAfterMs);
}

void TfFrameLock::StatusLooped() {
    // Back at the first segment's start while the media runs on; the position read at once may
    // still be the old one, before the seek.
    const std::optional<FrameRange> first =
        firstSegmentRange(SyncPoints(), InPoint(), player_->DurationFrames());
    const std::int64_t start = first ? first->start : player_->CurrentFrame();
    if (IsMaster()) {
        StatusSegmentStarted(start);
    } else if (IsLan() && player_->MediaOpen()) {
        StatusPlaying(start, StatusDesk::SampleMs);
    }
}

void TfFrameLock::StatusRestarted() {
    // A Slave still in its last segment when the Master wrapped; one that is cued for the first
    // segment waits for its "Play".
    const PlayState state = statusDesk_->state;
    if (!IsMaster() && (state == PlayState::Playing || state == PlayState::Ended)) {
        StatusLooped();
    }
}

void TfFrameLock::StatusJoined(std::int64_t segmentStartInFile, std::int64_t startsInMs) {
    if (IsMaster() || !IsLan()) {
        return;
    }
    // Counted from the segment's first frame, as if it had started there with the others: its
    // start then reads against the Master's like every other Slave's.
    StatusPlaying(
        segmentStartInFile,
        static_cast<int>(std::clamp<std::int64_t>(startsInMs, 0, 60'000)) + StatusDesk::SampleMs);
}

void TfFrameLock::StatusPollTimer() {
    if (Closing || !IsLan()) {
        return;
    }
    if (IsMaster()) {
        ShowSlaveLines();
        return;
    }
    StatusDesk& desk = *statusDesk_;
    if (desk.state == PlayState::Playing && !desk.sampling && player_->MediaOpen()) {
        // A range that has run out holds its last frame: the position stands still.
        const std::int64_t frame = player_->CurrentFrame();
        if (desk.lastPolledFrame == frame) {
            desk.state = PlayState::Ended;
        }
        desk.lastPolledFrame = frame;
    }
    ReportStatus();
}

void TfFrameLock::ReportStatus() {
    if (Closing || IsMaster() || !IsLan() || !Client->Connected() || statusDesk_->sampling) {
        return;
    }
    StatusDesk& desk = *statusDesk_;
    const bool open = player_->MediaOpen();
    StatusMedia media;
    media.open = open;
    media.fileName = QFileInfo(ui->eFilename->text()).fileName();
    media.inPoint = InPoint();
    media.version = product::kTitleWithVersion;
    if (open) {
        const auto [numerator, denominator] = rateOf(*player_);
        media.durationFrames = player_->DurationFrames();
        media.rateNumerator = numerator;
        media.rateDenominator = denominator;
        // Sound alone has no picture: its size is invalid (-1), which no Master accepts.
        const QSize size = player_->VideoSize().isValid() ? player_->VideoSize() : QSize(0, 0);
        media.width = size.width();
        media.height = size.height();
    }
    StatusPlay play;
    play.state = open ? desk.state : PlayState::NoMedia;
    play.segment = show_->cuedSegment();
    play.cueFrame = desk.cueFrame;
    play.startFrame = desk.startFrame;
    play.startedAtMs = desk.startedAtMs;
    play.stillCueing = desk.stillCueing;
    play.fullScreen = player_->FullScreenActive();
    play.sentAtMs = wallNowMs();
    StatusError error{desk.lastError.isEmpty() ? ui->lComStatus->text() : desk.lastError};
    for (const QByteArray& command : desk.reporter.changes(media, play, error)) {
        const QByteArray frame = frameCommand(command);
        Client->Send(frame.constData(), static_cast<qint32>(frame.size()));
    }
}

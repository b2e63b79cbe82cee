// The status back channel: a LAN Slave reports its media and its place in the show to its
// Master, and beats at least once a second with the frame its screen shows; the Master builds
// the show's snapshot from what it knows and draws its list, its log lines and the show report
// from it, and checks the show at Start.
#include "app/monotonic_time.h"
#include "app/window/frame_lock.h"

#include "app/app_log.h"
#include "app/player_facts.h"
#include "app/segment_math.h"
#include "app/show_controller.h"
#include "app/show_status.h"
#include "app/slave_show_reporter.h"
#include "app/status_snapshot.h"
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
#include <QSysInfo>
#include <QTimer>
#include <algorithm>

namespace {

std::int64_t wallNowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

void TfFrameLock::createStatusDesk() {
    statusDesk_ = new StatusDesk(this, services_.programDir + QStringLiteral("frameLock-show.csv"));
    slaveReporter_ = new SlaveShowReporter(
        *player_, *show_,
        {[this] { return Closing; }, [this] { return Client->Connected(); },
         [this](const QByteArray& command) { SendCommand(command); },
         [this] { return QFileInfo(ui->eFilename->text()).fileName(); },
         [this] { return ui->lComStatus->text(); },
         [this] { return TitleSuffix.isEmpty() ? QSysInfo::machineHostName() : TitleSuffix; },
         product::kTitleWithVersion},
        this);
    // A Master on serial lines has no Slaves to list, but its own screen is watched all the same.
    connect(statusDesk_->poll, &QTimer::timeout, this, [this] {
        if (!Closing && IsMaster()) {
            ShowSlaveLines();
        }
    });
    connect(statusDesk_->sample, &QTimer::timeout, this, [this] { StatusSampleTimer(); });
    connect(statusDesk_->refresh, &QTimer::timeout, this, [this] { ShowSlaveLines(); });
    connect(statusDesk_->flushLog, &QTimer::timeout, this, [this] { FlushSlaveLog(); });
    statusDesk_->poll->start();
    slaveReporter_->start();
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

std::optional<std::int64_t> TfFrameLock::ShownFrame() const {
    return shownFrame(*player_, InPoint());
}

ScreenStatus TfFrameLock::MasterScreen() {
    StatusDesk& desk = *statusDesk_;
    const bool frozen =
        !desk.picture.healthy(monotonicMs(), {player_->PictureShouldMove(), ShownFrame()});
    if (frozen != desk.pictureFrozen) {
        desk.pictureFrozen = frozen;
        if (frozen) {
            qCWarning(lcSync).noquote() << "master frozen:" << desk.picture.reason();
        } else {
            qCInfo(lcSync) << "master picture moves again";
        }
    }
    StatusMedia media;
    media.open = player_->MediaOpen();
    media.fileName = QFileInfo(ui->eFilename->text()).fileName();
    media.durationFrames = desk.facts.master.durationFrames;
    media.rateNumerator = desk.facts.master.rateNumerator;
    media.rateDenominator = desk.facts.master.rateDenominator;
    media.inPoint = InPoint();
    media.version = product::kTitleWithVersion;
    StatusPlay play;
    play.state = !media.open                                        ? PlayState::NoMedia
                 : player_->PictureShouldMove()                     ? PlayState::Playing
                 : player_->Running()                               ? PlayState::Ended
                 : show_->model().place == MediaPlace::SegmentStart ? PlayState::Cued
                                                                    : PlayState::Stopped;
    play.segment = show_->cuedSegment();
    play.startFrame = desk.startFrame;
    play.fullScreen = player_->FullScreenActive();
    const QString name = TitleSuffix.isEmpty() ? QSysInfo::machineHostName() : TitleSuffix;
    return masterScreen(name, media, play, ShownFrame(), frozen, desk.facts);
}

void TfFrameLock::ShowSlaveLines(TSimpleTCPClient* Client) {
    StatusDesk& desk = *statusDesk_;
    const QList<TSimpleTCPClient*> slaves = Server->Clients();
    if (Client != nullptr && slaves.contains(Client)) {
        // Just connected: whatever an earlier connection at the same place said is not its.
        desk.board.forget(Client);
    }
    desk.board.retain(std::vector<SlaveStatusBoard::Key>(slaves.begin(), slaves.end()),
                      monotonicMs());
    RefreshStatusWords();
    const auto [numerator, denominator] = statusRate(*player_);
    desk.facts.syncPoints = SyncPoints();
    desk.facts.master = {desk.words.master, player_->MediaOpen(), player_->DurationFrames(),
                         numerator,         denominator,          InPoint()};

    const ShowSnapshot& previous = statusModel_->snapshot();
    ShowSnapshot snapshot;
    snapshot.master = IsMaster();
    snapshot.lan = IsLan();
    snapshot.running = player_->Running();
    snapshot.loop = ui->cbRepeat->isChecked();
    snapshot.fullScreen = ui->cbFullscreen->isChecked();
    snapshot.locked = ui->cbLock->isChecked();
    snapshot.segment = segmentOrdinal(desk.facts.syncPoints, show_->cuedSegment());
    snapshot.inPoint = InPoint();
    for (const std::optional<std::int32_t>& point : parseSyncPoints(desk.facts.syncPoints)) {
        if (point) {
            snapshot.syncPoints.push_back(*point);
        }
    }
    snapshot.screens.push_back(MasterScreen());
    const std::int64_t now = monotonicMs();
    for (const TSimpleTCPClient* slave : slaves) {
        const SlaveStatus* status = desk.board.find(slave);
        snapshot.screens.push_back(slaveScreen(*status, SlaveName(*slave), desk.facts, now,
                                               previous.screen(slaveId(*status))));
    }
    keepGoneScreens(snapshot, previous, desk.goneSinceMs, now);
    statusModel_->setSnapshot(std::move(snapshot));
    RenderSlaveLines(slaves);
}

void TfFrameLock::RenderSlaveLines(const QList<TSimpleTCPClient*>& slaves) {
    StatusDesk& desk = *statusDesk_;
    const ShowSnapshot& snapshot = statusModel_->snapshot();
    const ShowFacts facts = factsOf(snapshot);
    QStringList lines;
    QStringList entries;
    QStringList hints;
    QStringList labels;
    QStringList ids;
    for (const ScreenStatus& screen : snapshot.screens) {
        // The list holds the connected Slaves; one that left is said in the log as it goes.
        if (screen.master || screen.health == ScreenHealth::Gone) {
            continue;
        }
        ids << screen.id;
        labels << screenLabel(screen);
        // The log's lines are English in every language, to be found by the same words.
        const QString state = shortState(screen, facts, StatusWords{});
        lines << (state.isEmpty() ? labels.back() : labels.back() + QStringLiteral("  ") + state);
        entries << listEntry(labels.back(), screenText(screen, facts, desk.words));
        hints << (screen.media ? mediaSummary(*screen.media, desk.words) : QString());
        if (screen.health == ScreenHealth::NotResponding || screen.health == ScreenHealth::Frozen) {
            desk.report.markUnwell(screen.id, screenHealthName(screen.health));
        }
    }
    if (const ScreenStatus* master = snapshot.screen(QStringLiteral("master"));
        master != nullptr && master->health == ScreenHealth::Frozen) {
        desk.report.markUnwell(master->id, screenHealthName(master->health));
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
    for (int row = 0; row < desk.shownIds.size(); ++row) {
        if (!ids.contains(desk.shownIds[row])) {
            const QString& label = desk.shownLabels[row];
            LogAboutSlave(true, label.section(QLatin1Char(':'), 0, 0),
                          QStringLiteral("slave ") + label + QStringLiteral(" gone"));
        }
    }
    desk.shownLines = lines;
    desk.shownIds = ids;
    desk.shownLabels = labels;
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
    for (const ScreenStatus& screen : statusModel_->snapshot().screens) {
        if (!screen.master && screen.health != ScreenHealth::Gone && screen.media) {
            instances.push_back(instanceMedia(screenLabel(screen), *screen.media));
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
    desk.startFrameInFile = startFrameInFile.value_or(player_->StartFrame());
    desk.startFrame = desk.startFrameInFile - InPoint();
    std::vector<ShowReport::Instance> instances{{QStringLiteral("master"), StatusWords{}.master}};
    // Only Slaves that report have a start to tell; any other connection (an older program, a
    // remote control, a host that is not obeyed) would only add empty fields.
    for (const TSimpleTCPClient* slave : Server->Clients()) {
        const SlaveStatus* status = desk.board.find(slave);
        if (status != nullptr && status->play) {
            const ScreenStatus* screen = statusModel_->snapshot().screen(slaveId(*status));
            instances.push_back(
                {slaveId(*status), screen != nullptr ? screenLabel(*screen) : SlaveName(*slave)});
        }
    }
    desk.report.begin(QDateTime::currentDateTime(), segment, instances);
    desk.sample->start();
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
    desk.report.record(slaveId(*status), status->play->segment, *status->play->startFrame,
                       *started);
}

void TfFrameLock::StatusSampleTimer() {
    if (!IsMaster() || !player_->MediaOpen()) {
        return;
    }
    StatusDesk& desk = *statusDesk_;
    const auto [numerator, denominator] = statusRate(*player_);
    const std::int64_t now = wallNowMs();
    const std::int64_t frame = player_->CurrentFrame();
    std::optional<std::int64_t> started;
    // A position that stands still at the start tells nothing (the picture has not moved yet, or
    // the segment is shorter than the sample's delay and has ended).
    if (frame > desk.startFrameInFile) {
        started = pictureStartMs(now, frame - desk.startFrameInFile, numerator, denominator);
    }
    desk.facts.startedAtMs = started;
    if (started) {
        desk.report.record(QStringLiteral("master"), desk.facts.startedSegment, *desk.startFrame,
                           *started);
    }
    for (const TSimpleTCPClient* slave : Server->Clients()) {
        RecordSlaveStart(*slave);
    }
    ShowSlaveLines();
}

void TfFrameLock::StatusLooped() {
    if (IsMaster()) {
        StatusSegmentStarted(loopStartInFile(*player_, show_->model()));
    } else {
        slaveReporter_->looped();
    }
}

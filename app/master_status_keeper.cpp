#include "app/master_status_keeper.h"

#include "app/app_log.h"
#include "app/monotonic_time.h"
#include "app/player_facts.h"
#include "app/segment_math.h"
#include "app/show_controller.h"
#include "app/show_status.h"
#include "app/slave_status_reporter.h"
#include "app/status_snapshot.h"
#include "media/graph_player.h"
#include "net/net_log.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <QDateTime>
#include <QTimer>
#include <algorithm>

namespace {

std::int64_t wallNowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

QString slaveName(const TSimpleTCPClient& slave) {
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

MasterStatusKeeper::MasterStatusKeeper(TGraphPlayer& player, const ShowController& show,
                                       TSimpleTCPServer& server, ShowStatusModel& model,
                                       const QString& reportPath, Surroundings around,
                                       QObject* parent)
    : QObject(parent),
      player_(player),
      show_(show),
      server_(server),
      model_(model),
      around_(std::move(around)),
      report_(reportPath),
      poll_(new QTimer(this)),
      refresh_(new QTimer(this)),
      sample_(new QTimer(this)),
      flushLog_(new QTimer(this)) {
    poll_->setInterval(PollMs);
    refresh_->setSingleShot(true);
    refresh_->setInterval(RefreshMs);
    sample_->setSingleShot(true);
    sample_->setInterval(SampleMs);
    flushLog_->setSingleShot(true);
    // A Master on serial lines has no Slaves to list, but its own screen is watched all the same.
    connect(poll_, &QTimer::timeout, this, [this] {
        if (!around_.closing() && show_.isMaster()) {
            refresh();
        }
    });
    connect(refresh_, &QTimer::timeout, this, [this] { refresh(); });
    connect(sample_, &QTimer::timeout, this, [this] { sample(); });
    connect(flushLog_, &QTimer::timeout, this, [this] { flushLog(); });
}

void MasterStatusKeeper::start() {
    poll_->start();
}

const StatusWords& MasterStatusKeeper::words() {
    refreshWords();
    return words_;
}

void MasterStatusKeeper::refreshWords() {
    const int language = around_.languageIndex();
    if (wordsLanguage_ == language) {
        return;
    }
    // The language component reads its file at every call: the words are read once per language.
    wordsLanguage_ = language;
    words_ = StatusWords::fromLanguage(around_.textByKey);
}

void MasterStatusKeeper::receive(TSimpleTCPClient* peer, QByteArrayView bytes) {
    if (!show_.isMaster() || around_.closing()) {
        return;
    }
    if (board_.receive(peer, bytes, monotonicMs(), wallNowMs())) {
        if (!refresh_->isActive()) {
            refresh_->start();
        }
        recordSlaveStart(*peer);
    }
}

ScreenStatus MasterStatusKeeper::ownScreen() {
    const std::int32_t inPoint = show_.model().inPoint;
    const std::optional<std::int64_t> shown = shownFrame(player_, inPoint);
    const bool frozen = !picture_.healthy(monotonicMs(), {player_.PictureShouldMove(), shown});
    if (frozen != pictureFrozen_) {
        pictureFrozen_ = frozen;
        if (frozen) {
            qCWarning(lcSync).noquote() << "master frozen:" << picture_.reason();
        } else {
            qCInfo(lcSync) << "master picture moves again";
        }
    }
    StatusMedia media;
    media.open = player_.MediaOpen();
    media.fileName = around_.fileName();
    media.durationFrames = facts_.master.durationFrames;
    media.rateNumerator = facts_.master.rateNumerator;
    media.rateDenominator = facts_.master.rateDenominator;
    media.inPoint = inPoint;
    media.version = around_.version;
    StatusPlay play;
    play.state = !media.open                                       ? PlayState::NoMedia
                 : player_.PictureShouldMove()                     ? PlayState::Playing
                 : player_.Running()                               ? PlayState::Ended
                 : show_.model().place == MediaPlace::SegmentStart ? PlayState::Cued
                                                                   : PlayState::Stopped;
    play.segment = show_.cuedSegment();
    play.startFrame = startFrame_;
    play.fullScreen = player_.FullScreenActive();
    return ::masterScreen(around_.screenName(), media, play, shown, frozen, facts_);
}

void MasterStatusKeeper::refresh(TSimpleTCPClient* justConnected) {
    const QList<TSimpleTCPClient*> slaves = server_.Clients();
    if (justConnected != nullptr && slaves.contains(justConnected)) {
        // Just connected: whatever an earlier connection at the same place said is not its.
        board_.forget(justConnected);
    }
    board_.retain(std::vector<SlaveStatusBoard::Key>(slaves.begin(), slaves.end()), monotonicMs());
    refreshWords();
    const auto [numerator, denominator] = statusRate(player_);
    const std::int32_t inPoint = show_.model().inPoint;
    facts_.syncPoints = show_.model().syncPoints;
    facts_.master = {words_.master, player_.MediaOpen(), player_.DurationFrames(),
                     numerator,     denominator,         inPoint};

    const ShowSnapshot& previous = model_.snapshot();
    const Switches switches = around_.switches();
    ShowSnapshot snapshot;
    snapshot.master = show_.isMaster();
    snapshot.lan = show_.isLan();
    snapshot.running = player_.Running();
    snapshot.loop = switches.loop;
    snapshot.fullScreen = switches.fullScreen;
    snapshot.locked = switches.locked;
    snapshot.segment = segmentOrdinal(facts_.syncPoints, show_.cuedSegment());
    snapshot.inPoint = inPoint;
    for (const std::optional<std::int32_t>& point : parseSyncPoints(facts_.syncPoints)) {
        if (point) {
            snapshot.syncPoints.push_back(*point);
        }
    }
    snapshot.screens.push_back(ownScreen());
    const std::int64_t now = monotonicMs();
    for (const TSimpleTCPClient* slave : slaves) {
        const SlaveStatus* status = board_.find(slave);
        snapshot.screens.push_back(slaveScreen(*status, slaveName(*slave), facts_, now,
                                               previous.screen(slaveId(*status))));
    }
    keepGoneScreens(snapshot, previous, goneSinceMs_, now);
    model_.setSnapshot(std::move(snapshot));
    render(slaves);
}

void MasterStatusKeeper::render(const QList<TSimpleTCPClient*>& slaves) {
    const ShowSnapshot& snapshot = model_.snapshot();
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
        entries << listEntry(labels.back(), screenText(screen, facts, words_));
        hints << (screen.media ? mediaSummary(*screen.media, words_) : QString());
        if (screen.health == ScreenHealth::NotResponding || screen.health == ScreenHealth::Frozen) {
            report_.markUnwell(screen.id, screenHealthName(screen.health));
        }
    }
    if (const ScreenStatus* master = snapshot.screen(QStringLiteral("master"));
        master != nullptr && master->health == ScreenHealth::Frozen) {
        report_.markUnwell(master->id, screenHealthName(master->health));
    }
    if (lines == shownLines_ && entries == shownEntries_) {
        return;
    }
    emit slaveListChanged(entries, hints);
    for (int row = 0; row < lines.size(); ++row) {
        if (!shownLines_.contains(lines[row])) {
            logAboutSlave(true, slaves[row]->Host(), QStringLiteral("slave ") + lines[row]);
        }
    }
    for (int row = 0; row < shownIds_.size(); ++row) {
        if (!ids.contains(shownIds_[row])) {
            const QString& label = shownLabels_[row];
            logAboutSlave(true, label.section(QLatin1Char(':'), 0, 0),
                          QStringLiteral("slave ") + label + QStringLiteral(" gone"));
        }
    }
    shownLines_ = lines;
    shownEntries_ = entries;
    shownIds_ = ids;
    shownLabels_ = labels;
}

void MasterStatusKeeper::logAboutSlave(bool state, const QString& host, const QString& line) {
    const QStringList lines = (state ? stateLog_ : linkLog_).note(host, line, monotonicMs());
    for (const QString& text : lines) {
        if (state) {
            qCInfo(lcSync).noquote() << text;
        } else {
            qCInfo(lcNet).noquote() << text;
        }
    }
    if (!flushLog_->isActive()) {
        flushLog();
    }
}

void MasterStatusKeeper::flushLog() {
    const std::int64_t now = monotonicMs();
    for (const QString& text : stateLog_.flush(now)) {
        qCInfo(lcSync).noquote() << text;
    }
    for (const QString& text : linkLog_.flush(now)) {
        qCInfo(lcNet).noquote() << text;
    }
    std::optional<std::int64_t> due = stateLog_.flushDue();
    if (const std::optional<std::int64_t> link = linkLog_.flushDue(); link) {
        due = due ? std::min(*due, *link) : *link;
    }
    if (due) {
        flushLog_->start(static_cast<int>(std::clamp<std::int64_t>(*due - now, 0, 1000)));
    }
}

MasterStatusKeeper::Check MasterStatusKeeper::check() {
    refresh();
    Check result{{facts_.master}, facts_.syncPoints, {}};
    for (const ScreenStatus& screen : model_.snapshot().screens) {
        if (!screen.master && screen.health != ScreenHealth::Gone && screen.media) {
            result.instances.push_back(instanceMedia(screenLabel(screen), *screen.media));
        }
    }
    result.problems = preflightProblems(result.instances, result.syncPoints, StatusWords{});
    if (result.problems.isEmpty()) {
        qCInfo(lcSync) << "check at Start passed for" << result.instances.size() << "instances";
    }
    for (const QString& problem : result.problems) {
        qCWarning(lcSync).noquote() << "check at Start:" << problem;
    }
    return result;
}

void MasterStatusKeeper::segmentStarted(std::optional<std::int64_t> startFrameInFile) {
    if (!show_.isMaster() || !show_.isLan() || !player_.MediaOpen()) {
        return;
    }
    const int segment = effectiveSegmentIndex(show_.model().syncPoints, around_.selectedRow());
    playSentMs_ = wallNowMs();
    facts_.startedSegment = segment;
    facts_.startedAtMs.reset();
    startFrameInFile_ = startFrameInFile.value_or(player_.StartFrame());
    startFrame_ = startFrameInFile_ - show_.model().inPoint;
    std::vector<ShowReport::Instance> instances{{QStringLiteral("master"), StatusWords{}.master}};
    // Only Slaves that report have a start to tell; any other connection (an older program, a
    // remote control, a host that is not obeyed) would only add empty fields.
    for (const TSimpleTCPClient* slave : server_.Clients()) {
        const SlaveStatus* status = board_.find(slave);
        if (status != nullptr && status->play) {
            const ScreenStatus* screen = model_.snapshot().screen(slaveId(*status));
            instances.push_back(
                {slaveId(*status), screen != nullptr ? screenLabel(*screen) : slaveName(*slave)});
        }
    }
    report_.begin(QDateTime::currentDateTime(), segment, instances);
    sample_->start();
}

void MasterStatusKeeper::recordSlaveStart(const TSimpleTCPClient& slave) {
    const SlaveStatus* status = board_.find(&slave);
    const std::optional<std::int64_t> started =
        status != nullptr ? status->startedAtMasterMs() : std::nullopt;
    // A start reported from before this one (the same segment, one loop earlier) is not it.
    if (!started || !status->play->startFrame || *started < playSentMs_ - 1000) {
        return;
    }
    report_.record(slaveId(*status), status->play->segment, *status->play->startFrame, *started);
}

void MasterStatusKeeper::sample() {
    if (!show_.isMaster() || !player_.MediaOpen()) {
        return;
    }
    const std::optional<std::int64_t> started =
        pictureStartedAtMs(player_, startFrameInFile_, wallNowMs());
    facts_.startedAtMs = started;
    if (started) {
        report_.record(QStringLiteral("master"), facts_.startedSegment, *startFrame_, *started);
    }
    for (const TSimpleTCPClient* slave : server_.Clients()) {
        recordSlaveStart(*slave);
    }
    refresh();
}

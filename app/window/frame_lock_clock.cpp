// The shared clock of a LAN show: the Master publishes the clock its pipelines run on, the
// Slaves follow it; starts are announced on that clock's time, and a Slave that connects while
// the show plays is told where the show stands and comes in on the running frame.
#include "app/monotonic_time.h"
#include "app/window/frame_lock.h"

#include "app/app_log.h"
#include "app/segment_math.h"
#include "app/shared_clock_props.h"
#include "media/graph_player.h"
#include "net/simple_tcp_client.h"
#include "ui_fFrameLock.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr std::int64_t NsPerMs = 1'000'000;
// From the announcement to the start: a Slave on a loaded machine must have read the
// announcement and set its pipeline by then. A Master and four Slaves of 720p MJPEG on two
// cores did so 3.7 ms (median) and 32 ms (max) after the Master announced.
constexpr int StartLeadMs = 80;
// A joining Slave cues the frame current this long after it heard of the show, so that it has
// prerolled that frame when the show reaches it (a seek into a long H.264 GOP takes 400 ms).
constexpr std::int64_t JoinLeadNs = 700 * NsPerMs;
// How far from now a start announced on the shared clock may lie.
constexpr std::int64_t MaxStartSkewNs = 5'000 * NsPerMs;
constexpr int ClockPollMs = 250;
// A clock that has not answered by then is taken as unreachable, said once.
constexpr qint64 ClockUnreachableMs = 10'000;
constexpr qint64 ClockStateEveryMs = 60'000;

double ms(std::int64_t ns) {
    return static_cast<double>(ns) / static_cast<double>(NsPerMs);
}

}  // namespace

void TfFrameLock::createSharedClock() {
    SharedClock = new TSharedClockProps(this);
    SharedClock->setObjectName(QStringLiteral("SharedClock"));
    ClockTimer = new QTimer(this);
    ClockTimer->setObjectName(QStringLiteral("ClockTimer"));
    ClockTimer->setInterval(ClockPollMs);
    PlayTimer = new QTimer(this);
    PlayTimer->setObjectName(QStringLiteral("PlayTimer"));
    PlayTimer->setSingleShot(true);
    connect(ClockTimer, &QTimer::timeout, this, [this] { ClockTimerTimer(); });
    connect(PlayTimer, &QTimer::timeout, this, [this] { PlayTimerTimer(); });
}

void TfFrameLock::OpenSharedClock() {
    ClockSetup setup;
    setup.driftPpm = SharedClock->DriftPpm();
    const quint16 port = SharedClock->Port();
    if (IsLan() && port != 0) {
        setup.port = port;
        setup.role = IsMaster() ? ClockSetup::Role::Publish : ClockSetup::Role::Follow;
        // The address the link's own lookup found: a name looked up here would block the
        // window, and one that did not resolve would leave the clock without a Master for good.
        setup.masterHost = IsMaster() ? QString() : ClockMasterAddress;
    }
    const QString key = QString::number(static_cast<int>(setup.role)) + QLatin1Char(' ') +
                        setup.masterHost + QLatin1Char(':') + QString::number(setup.port) +
                        QLatin1Char(' ') + QString::number(setup.driftPpm);
    if (key == ClockSetupKey) {
        return;
    }
    ClockSetupKey = key;
    player_->UseClock(setup);
    ClockSettledLogged = false;
    ClockUnreachableLogged = false;
    ClockStepsSeen = player_->SharedClock().steps;
    ClockPublishError.reset();
    ClockStateLoggedMs = ClockFollowedSinceMs = monotonicMs();
    switch (setup.role) {
        case ClockSetup::Role::Publish:
            WatchPublishedClock(player_->SharedClock());
            ClockTimer->start();
            break;
        case ClockSetup::Role::Follow:
            if (setup.masterHost.isEmpty()) {
                qCInfo(lcSync) << "shared clock: waiting for the link to the Master";
            } else {
                qCInfo(lcSync).noquote()
                    << "shared clock: following" << setup.masterHost << "UDP port" << setup.port
                    << "; own clock until it settles";
            }
            ClockTimer->start();
            break;
        case ClockSetup::Role::Own:
            qCInfo(lcSync) << "no shared clock: every start at \"Play\"";
            ClockTimer->stop();
            break;
    }
}

void TfFrameLock::SharedClockLinked() {
    if (IsMaster() || !IsLan()) {
        return;
    }
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    char text[INET_ADDRSTRLEN] = {};
    if (::getpeername(Client->socketHandle(), reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) {
        return;
    }
    const QString address = QString::fromLatin1(text);
    const bool sameMaster = address == ClockMasterAddress;
    ClockMasterAddress = address;
    if (!sameMaster) {
        OpenSharedClock();
        return;
    }
    // The same address may be another machine or a restarted Master whose clock starts
    // elsewhere: what the old clock learnt no longer holds.
    if (SharedClock->Port() != 0) {
        RenewSharedClock(QStringLiteral("the Master connected again"));
    }
}

void TfFrameLock::RenewSharedClock(const QString& why) {
    player_->RenewClock();
    ClockSettledLogged = false;
    ClockUnreachableLogged = false;
    ClockFollowedSinceMs = monotonicMs();
    qCWarning(lcSync).noquote() << "shared clock dropped (" + why +
                                       "): playing on its own clock until a new one settles";
    ShowStatus(ui->eClientStatus, QStringLiteral("TxT_ClockRenewed"), QLatin1Char(' ') + why);
}

void TfFrameLock::WatchPublishedClock(const SharedClockState& clock) {
    const quint16 port = SharedClock->Port();
    const bool serverReadyShown =
        linkStatus_.value(ui->eServerStatus).key == QStringLiteral("TxT_ServerOK");
    // "Ready" while the clock is not published would be a false claim; a link failure the box
    // shows says more and stays.
    if (!clock.publishError.isEmpty() && serverReadyShown) {
        ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ClockCannotPublish"),
                   QStringLiteral(" UDP %1 (%2)").arg(port).arg(clock.publishError));
    }
    if (clock.publishError == ClockPublishError) {
        return;
    }
    if (clock.publishError.isEmpty()) {
        qCInfo(lcSync) << "shared clock published on UDP port" << port;
        if (linkStatus_.value(ui->eServerStatus).key == QStringLiteral("TxT_ClockCannotPublish")) {
            ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ServerOK"));
        }
    } else {
        qCWarning(lcSync).noquote() << "shared clock cannot be published on UDP port" << port
                                    << "(" + clock.publishError + "): trying again";
    }
    ClockPublishError = clock.publishError;
}

void TfFrameLock::ClockTimerTimer() {
    const SharedClockState clock = player_->SharedClock();
    if (IsMaster()) {
        WatchPublishedClock(clock);
        return;
    }
    WatchFollowedClock(clock);
    TryJoin();
}

void TfFrameLock::WatchFollowedClock(const SharedClockState& clock) {
    const qint64 now = monotonicMs();
    if (clock.steps != ClockStepsSeen) {
        ClockStepsSeen = clock.steps;
        RenewSharedClock(QStringLiteral("the Master's clock stepped by %1 s")
                             .arg(static_cast<double>(clock.lastStepNs) / 1e9, 0, 'f', 3));
        return;
    }
    if (clock.settled && !ClockSettledLogged) {
        ClockSettledLogged = true;
        ClockStateLoggedMs = now;
        qCInfo(lcSync) << "shared clock settled after" << now - ClockFollowedSinceMs << "ms: offset"
                       << ms(clock.offsetNs) << "ms, round trip" << ms(clock.roundTripNs)
                       << "ms; the pipelines run on it from their next start";
        if (linkStatus_.value(ui->eClientStatus).key == QStringLiteral("TxT_ClockRenewed")) {
            ShowLinkedMaster();
        }
    } else if (!clock.settled && !ClockUnreachableLogged &&
               now - ClockFollowedSinceMs >= ClockUnreachableMs) {
        ClockUnreachableLogged = true;
        qCWarning(lcSync) << "shared clock not reached in" << ClockUnreachableMs / 1000
                          << "s (UDP blocked?): playing on its own clock, starting at \"Play\"";
    } else if (clock.settled && now - ClockStateLoggedMs >= ClockStateEveryMs) {
        ClockStateLoggedMs = now;
        qCInfo(lcSync) << "shared clock: settled, offset" << ms(clock.offsetNs) << "ms, round trip"
                       << ms(clock.roundTripNs) << "ms";
    }
}

bool TfFrameLock::StartOnSharedTime() {
    if (!IsMaster() || !IsLan() || !player_->MediaOpen()) {
        return false;
    }
    const SharedClockState clock = player_->SharedClock();
    if (!clock.shared) {
        return false;
    }
    const std::int64_t at = clock.nowNs + StartLeadMs * NsPerMs;
    const std::int64_t next = addFrames(player_->CurrentFrame(), 1);
    SendCommand(SyncCommand::startAt(at));
    if (!PlayFromPlace(at)) {
        ShowStarted.reset();
        SendCommand(SyncCommand::play());
        return true;
    }
    ShowStarted = JoinOrder{CuedSegment, offsetFromIn(next, InPoint()), at};
    qCInfo(lcSync) << "start at" << at << "ns on the shared clock: frame" << next << "in"
                   << StartLeadMs << "ms";
    // An instance without the shared clock shows the next frame a frame after "Play", as the
    // Master did when it started at once: "Play" goes out a frame before the shared time.
    const auto frameMs = static_cast<int>(player_->FrameDurationNs() / NsPerMs);
    PlayTimer->start(std::max(0, StartLeadMs - frameMs));
    return true;
}

void TfFrameLock::PlayTimerTimer() {
    SendCommand(SyncCommand::play());
}

void TfFrameLock::JoinSlave(TSimpleTCPClient* slave) {
    if (Closing || !IsMaster() || !IsLan() || !player_->MediaOpen()) {
        return;
    }
    // Cued for a start that is armed, or between the announced start and "Play": the Master
    // sent its segment and place before the Slave was there, and the start would find the Slave
    // wherever it stands. Cued like the others, it starts with them.
    const bool starting = StartTimer->isActive() || PlayTimer->isActive();
    const bool playing = !starting && ShowStarted && player_->Running();
    if (!starting && !playing) {
        return;
    }
    const QList<QByteArray> place =
        playing ? QList<QByteArray>{SyncCommand::join(*ShowStarted)} : StartPlaceCommands();
    QList<QByteArray> commands{SyncCommand::clearList()};
    for (const QString& item : SyncPoints()) {
        commands.append(SyncCommand::listItem(item.toLatin1()));
    }
    commands.append(place);
    for (const QByteArray& command : commands) {
        MasterLink().sendTo(*slave, command);
    }
    if (playing) {
        qCInfo(lcSync).noquote() << "join:" << SlaveName(*slave) << "sent segment"
                                 << ShowStarted->segment << "whose frame"
                                 << ShowStarted->frameFromIn << "appeared at"
                                 << ShowStarted->shownAtNs << "ns";
    } else {
        qCInfo(lcSync).noquote() << "join:" << SlaveName(*slave) << "sent the Master's place"
                                 << place.join(' ');
    }
}

void TfFrameLock::commandStartAt(std::int64_t sharedTimeNs) {
    if (IsMaster()) {
        return;
    }
    const SharedClockState clock = player_->SharedClock();
    if (!clock.shared) {
        qCInfo(lcSync) << "start at \"Play\": not on the shared clock yet";
        return;
    }
    // A time far from now is no start the Master announced (it leads by tens of ms): a screen
    // would freeze waiting for it, or race to catch up.
    if (sharedTimeNs < clock.nowNs - MaxStartSkewNs ||
        sharedTimeNs > clock.nowNs + MaxStartSkewNs) {
        qCWarning(lcSync) << "start at" << sharedTimeNs << "ns is" << ms(sharedTimeNs - clock.nowNs)
                          << "ms from now on the shared clock: starting at \"Play\"";
        RenewSharedClock(QStringLiteral("a start announced %1 s from its now")
                             .arg(ms(sharedTimeNs - clock.nowNs) / 1000, 0, 'f', 3));
        return;
    }
    StartedOnSharedTime = PlayFromPlace(sharedTimeNs);
    if (StartedOnSharedTime) {
        qCInfo(lcSync) << "start at" << sharedTimeNs << "ns on the shared clock: in"
                       << ms(sharedTimeNs - clock.nowNs) << "ms";
        HintNextSegment();
    }
}

void TfFrameLock::commandJoin(const JoinOrder& order) {
    if (IsMaster()) {
        return;
    }
    PendingJoin = order;
    JoinWaiting = true;
    TryJoin();
}

void TfFrameLock::ForgetPendingClockWork(QByteArrayView command) {
    const QByteArrayView code = command.first(std::min<qsizetype>(command.size(), 4));
    if (code != QByteArrayView(SyncCode::ClearList) && code != QByteArrayView(SyncCode::ListItem) &&
        code != QByteArrayView(SyncCode::Join)) {
        PendingJoin.reset();
        // Kept for the wrap that the "ReSt" makes.
        JoinWaiting = JoinWaiting && code == QByteArrayView(SyncCode::Restart);
    }
    if (code != QByteArrayView(SyncCode::Play) && code != QByteArrayView(SyncCode::StartAt)) {
        StartedOnSharedTime = false;
    }
}

void TfFrameLock::TryJoin() {
    if (!PendingJoin || !player_->MediaOpen()) {
        return;
    }
    const SharedClockState clock = player_->SharedClock();
    if (!clock.shared) {
        return;
    }
    const JoinOrder order = *std::exchange(PendingJoin, std::nullopt);
    const QStringList items = SyncPoints();
    const int index = effectiveSegmentIndex(items, order.segment);
    const std::optional<FrameRange> range =
        segmentRange(items, index, InPoint(), player_->DurationFrames());
    // A join far from the clock's now is the clock's fault, not the show's: it waits for a new
    // clock instead of holding a segment that seems over.
    const std::vector<std::optional<std::int32_t>> points = parseSyncPoints(items);
    const std::int64_t outFromIn =
        points.empty() || !points.back() ? player_->DurationFrames() : *points.back();
    if (joinDisagreesWithClock(order, clock.nowNs, player_->FrameDurationNs(), outFromIn,
                               MaxStartSkewNs)) {
        PendingJoin = order;
        // From the wire: a difference of doubles cannot overflow.
        const double apartMs = ms(order.shownAtNs) - ms(clock.nowNs);
        qCWarning(lcSync) << "join: frame" << order.frameFromIn << "is shown" << apartMs
                          << "ms from now on the shared clock";
        RenewSharedClock(
            QStringLiteral("a join announced %1 s from its now").arg(apartMs / 1000, 0, 'f', 3));
        return;
    }
    const std::optional<JoinCue> cue =
        joinCue(order, clock.nowNs, JoinLeadNs, player_->FrameDurationNs());
    const std::int64_t frame = cue ? frameFromOffset(InPoint(), cue->frameFromIn) : 0;
    // A Slave whose link came back while it played in step: a cue would freeze it for the lead
    // and start it behind.
    if (player_->Running() && index == CuedSegment &&
        onShowFrame(order, clock.nowNs, player_->FrameDurationNs(),
                    offsetFromIn(player_->CurrentFrame(), InPoint()))) {
        JoinWaiting = false;
        qCInfo(lcSync) << "join: segment" << index << "plays on the Master's frame already;"
                       << "playing on";
        return;
    }
    if (!range || !cue || frame < range->start || frame >= range->stop) {
        qCInfo(lcSync)
            << "join: segment" << order.segment
            << "is over or cannot be placed; waiting for the next sync point or the loop's wrap";
        return;
    }
    JoinWaiting = false;
    SelectSyncPoint(index);
    CuedSegment = index;
    player_->SetPlayRange(frame, range->stop);
    player_->PauseMedia();
    HintNextSegment();
    player_->PlayMediaAt(cue->nextShownAtNs);
    StatusJoined(range->start, (cue->nextShownAtNs - clock.nowNs) / 1'000'000);
    qCInfo(lcSync) << "join: segment" << index << "cued at frame" << frame << "; frame" << frame + 1
                   << "at" << cue->nextShownAtNs << "ns on the shared clock, in"
                   << ms(cue->nextShownAtNs - clock.nowNs) << "ms";
}

void TfFrameLock::JoinAtWrap() {
    const SharedClockState clock = player_->SharedClock();
    if (!clock.shared) {
        // Without the shared time the wrap's word is the start, as "Play" is.
        qCInfo(lcSync) << "join: the loop wrapped; starting the first segment now";
        PlayFromPlace();
        HintNextSegment();
        return;
    }
    PendingJoin = JoinOrder{0, 0, clock.nowNs};
    JoinWaiting = true;
    TryJoin();
}

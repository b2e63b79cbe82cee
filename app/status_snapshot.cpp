#include "app/status_snapshot.h"

#include "app/printable_text.h"

#include <algorithm>

namespace {

QString stateWord(PlayState state) {
    switch (state) {
        case PlayState::NoMedia:
            return QStringLiteral("no media");
        case PlayState::Stopped:
            return QStringLiteral("stopped");
        case PlayState::Cued:
            return QStringLiteral("cued");
        case PlayState::Playing:
            return QStringLiteral("playing");
        case PlayState::Ended:
            return QStringLiteral("ended");
    }
    return {};
}

void takePlace(ScreenStatus& screen, const StatusPlay& play, const ShowFacts& show) {
    screen.playState = play.state;
    screen.state = stateWord(play.state);
    screen.segment = segmentOrdinal(show.syncPoints, play.segment);
    screen.startFrame = play.startFrame;
    screen.stillCueing = play.stillCueing;
}

}  // namespace

ScreenHealth slaveHealth(const SlaveStatus& slave, std::int64_t nowMs) {
    if (!slave.heardAtMs) {
        return ScreenHealth::Starting;
    }
    if (slave.beats && nowMs - *slave.heardAtMs > NotRespondingMs) {
        return ScreenHealth::NotResponding;
    }
    if (slave.frozen) {
        return ScreenHealth::Frozen;
    }
    if (!slave.error.isEmpty() || (slave.media && !slave.media->open)) {
        return ScreenHealth::Failing;
    }
    return slave.play ? ScreenHealth::Ok : ScreenHealth::Starting;
}

namespace {

// A list that begins with 0 has an empty part 0: its first segment is index 1.
bool startsAtZero(const QStringList& syncPoints) {
    return !syncPoints.isEmpty() && syncPoints.front().trimmed() == QLatin1String("0");
}

}  // namespace

std::optional<std::int32_t> segmentOrdinal(const QStringList& syncPoints, std::int32_t index) {
    if (index < 0) {
        return std::nullopt;
    }
    return startsAtZero(syncPoints) ? index : index + 1;
}

std::int32_t segmentIndex(const QStringList& syncPoints, std::int32_t ordinal) {
    return startsAtZero(syncPoints) ? ordinal : ordinal - 1;
}

QString slaveId(const SlaveStatus& slave) {
    return QStringLiteral("slave-%1").arg(slave.serial);
}

ScreenStatus slaveScreen(const SlaveStatus& slave, const QString& address, const ShowFacts& show,
                         std::int64_t nowMs, const ScreenStatus* previous) {
    ScreenStatus screen;
    screen.id = slaveId(slave);
    screen.name = slave.name;
    screen.address = address;
    screen.health = slaveHealth(slave, nowMs);
    if (slave.play) {
        takePlace(screen, *slave.play, show);
    }
    screen.shownFrame = slave.shownFrame;
    screen.startLateMs = lateness(slave, show);
    screen.startedAtMs = slave.startedAtMasterMs();
    screen.lastHeardMs = slave.heardAtWallMs;
    screen.media = slave.media;
    screen.fileName = slave.media ? slave.media->fileName : QString();
    screen.error = slave.error;
    if (previous != nullptr) {
        screen.lateMs = previous->lateMs;
    }
    // One entry per start: the same start seen again adds nothing.
    const bool newStart = previous == nullptr || !previous->startLateMs ||
                          previous->startedAtMs != screen.startedAtMs;
    if (screen.startLateMs && newStart) {
        screen.lateMs.push_back(*screen.startLateMs);
        if (screen.lateMs.size() > ScreenStatus::LateHistory) {
            screen.lateMs.erase(screen.lateMs.begin());
        }
    }
    screen.problems = screenText(screen, show, StatusWords{}).notes;
    return screen;
}

ScreenStatus masterScreen(const QString& name, const StatusMedia& media, const StatusPlay& play,
                          std::optional<std::int64_t> shownFrame, bool frozen,
                          const ShowFacts& show) {
    ScreenStatus screen;
    screen.id = QStringLiteral("master");
    screen.master = true;
    screen.name = name;
    screen.health = frozen        ? ScreenHealth::Frozen
                    : !media.open ? ScreenHealth::Failing
                                  : ScreenHealth::Ok;
    takePlace(screen, play, show);
    screen.shownFrame = shownFrame;
    screen.startedAtMs = show.startedAtMs;
    screen.media = media;
    screen.fileName = media.fileName;
    screen.problems = screenText(screen, show, StatusWords{}).notes;
    return screen;
}

QString screenLabel(const ScreenStatus& screen) {
    const QString name = printableText(screen.name);
    if (screen.address.isEmpty()) {
        return name;
    }
    return name.isEmpty() ? screen.address : screen.address + QStringLiteral(" (") + name + ')';
}

namespace {

QString hostOf(const QString& address) {
    return address.left(address.lastIndexOf(QLatin1Char(':')));
}

// A screen new since `previous` with the gone one's name on its host: the same instance,
// restarted. Several instances on one machine may share a name; one that stayed is not it.
bool cameBack(const ScreenStatus& gone, const ShowSnapshot& snapshot,
              const ShowSnapshot& previous) {
    return std::any_of(snapshot.screens.begin(), snapshot.screens.end(), [&](const auto& screen) {
        return !screen.master && screen.health != ScreenHealth::Gone &&
               previous.screen(screen.id) == nullptr && screen.name == gone.name &&
               hostOf(screen.address) == hostOf(gone.address);
    });
}

}  // namespace

void keepGoneScreens(ShowSnapshot& snapshot, const ShowSnapshot& previous,
                     std::map<QString, std::int64_t>& goneSinceMs, std::int64_t nowMs) {
    std::map<QString, std::int64_t> kept;
    for (const ScreenStatus& screen : previous.screens) {
        if (screen.master || snapshot.screen(screen.id) != nullptr ||
            cameBack(screen, snapshot, previous)) {
            continue;
        }
        const auto since = goneSinceMs.find(screen.id);
        const std::int64_t goneAt = since == goneSinceMs.end() ? nowMs : since->second;
        if (nowMs - goneAt >= GoneKeptMs) {
            continue;
        }
        ScreenStatus gone = screen;
        gone.health = ScreenHealth::Gone;
        snapshot.screens.push_back(std::move(gone));
        kept.emplace(screen.id, goneAt);
    }
    goneSinceMs = std::move(kept);
}

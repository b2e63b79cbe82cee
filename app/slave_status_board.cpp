#include "app/slave_status_board.h"

#include <algorithm>
#include <cstring>

std::optional<std::int64_t> SlaveStatus::startedAtMasterMs() const {
    if (!play || !play->startedAtMs || !clockOffsetMs) {
        return std::nullopt;
    }
    return *play->startedAtMs + *clockOffsetMs;
}

bool SlaveStatusBoard::refill(Connection& connection, std::int64_t nowMs) {
    const auto elapsed =
        static_cast<double>(std::max<std::int64_t>(0, nowMs - connection.budgetAtMs));
    connection.budget =
        std::min<double>(ReportsPerSecond, connection.budget + elapsed * ReportsPerSecond / 1000.0);
    connection.budgetAtMs = nowMs;
    return connection.budget >= 1.0;
}

SlaveStatusBoard::Connection& SlaveStatusBoard::connection(Key key, std::int64_t nowMs) {
    std::unique_ptr<Connection>& slot = connections_[key];
    if (!slot) {
        slot = std::make_unique<Connection>();
        slot->budgetAtMs = nowMs;
        slot->status.serial = ++serials_;
    }
    return *slot;
}

bool SlaveStatusBoard::receive(Key key, QByteArrayView bytes, std::int64_t nowMs,
                               std::int64_t wallMs) {
    Connection& connection = this->connection(key, nowMs);
    if (!refill(connection, nowMs)) {
        connection.inFrame = false;
        connection.partial.clear();
        return false;
    }
    bool changed = false;
    const char* data = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype at = 0;
    while (at < size) {
        if (!connection.inFrame) {
            const void* start = std::memchr(data + at, '_', static_cast<std::size_t>(size - at));
            if (start == nullptr) {
                break;
            }
            at = static_cast<const char*>(start) - data + 1;
            connection.inFrame = true;
            connection.partial.clear();
            continue;
        }
        qsizetype end = at;
        while (end < size && data[end] != '_' && data[end] != '*') {
            ++end;
        }
        // Longer than any report can be: the rest of this frame is noise, as in the assembler.
        if (connection.partial.size() + (end - at) > MaxStatusLength) {
            connection.inFrame = false;
            connection.partial.clear();
            at = end;
            continue;
        }
        connection.partial.append(data + at, end - at);
        if (end == size) {
            break;
        }
        at = end;
        if (data[end] == '_') {
            connection.partial.clear();
            ++at;
            continue;
        }
        ++at;
        connection.inFrame = false;
        if (isStatusCommand(connection.partial)) {
            changed = take(connection, connection.partial, nowMs, wallMs) || changed;
        }
        connection.partial.clear();
    }
    return changed;
}

bool SlaveStatusBoard::take(Connection& connection, QByteArrayView command, std::int64_t nowMs,
                            std::int64_t wallMs) {
    if (!refill(connection, nowMs)) {
        ++dropped_;
        return false;
    }
    connection.budget -= 1.0;
    const std::optional<StatusReport> report = parseStatus(command);
    if (!report) {
        ++dropped_;
        return false;
    }
    bool changed = false;
    SlaveStatus& status = connection.status;
    status.heardAtMs = nowMs;
    status.heardAtWallMs = wallMs;
    if (const auto* media = std::get_if<StatusMedia>(&*report)) {
        changed = status.media != *media;
        status.media = *media;
    } else if (const auto* play = std::get_if<StatusPlay>(&*report)) {
        changed = takePlay(connection, *play, wallMs);
    } else if (const auto* error = std::get_if<StatusError>(&*report)) {
        changed = status.error != error->text;
        status.error = error->text;
    } else if (const auto* beat = std::get_if<StatusBeat>(&*report)) {
        changed = takePlay(connection, beat->play, wallMs);
        const bool frozen =
            !connection.picture.healthy(nowMs, {beat->pictureShouldMove, beat->shownFrame});
        changed = changed || !status.beats || status.name != beat->name || status.frozen != frozen;
        status.beats = true;
        status.name = beat->name;
        status.shownFrame = beat->shownFrame;
        status.frozen = frozen;
    }
    return changed;
}

bool SlaveStatusBoard::takePlay(Connection& connection, const StatusPlay& play,
                                std::int64_t wallMs) {
    SlaveStatus& status = connection.status;
    connection.offsets.push_back(wallMs - play.sentAtMs);
    if (connection.offsets.size() > OffsetSamples) {
        connection.offsets.pop_front();
    }
    status.clockOffsetMs = *std::min_element(connection.offsets.begin(), connection.offsets.end());
    const bool changed = !status.play || !status.play->sameStateAs(play);
    status.play = play;
    return changed;
}

void SlaveStatusBoard::forget(Key connection) {
    connections_.erase(connection);
}

void SlaveStatusBoard::retain(const std::vector<Key>& connected, std::int64_t nowMs) {
    std::erase_if(connections_, [&](const auto& entry) {
        return std::find(connected.begin(), connected.end(), entry.first) == connected.end();
    });
    for (const Key key : connected) {
        connection(key, nowMs);
    }
}

const SlaveStatus* SlaveStatusBoard::find(Key connection) const {
    const auto it = connections_.find(connection);
    return it != connections_.end() ? &it->second->status : nullptr;
}

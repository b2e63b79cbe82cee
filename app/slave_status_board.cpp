#include "app/slave_status_board.h"

#include <algorithm>

std::optional<std::int64_t> SlaveStatus::startedAtMasterMs() const {
    if (!play || !play->startedAtMs || !clockOffsetMs) {
        return std::nullopt;
    }
    return *play->startedAtMs + *clockOffsetMs;
}

SlaveStatusBoard::Connection::Connection(SlaveStatusBoard& board)
    : assembler([&board, this](const QByteArray& command) { board.take(*this, command); }) {}

bool SlaveStatusBoard::receive(Key connection, QByteArrayView bytes, std::int64_t nowMs,
                               std::int64_t wallMs) {
    std::unique_ptr<Connection>& slot = connections_[connection];
    if (!slot) {
        slot = std::make_unique<Connection>(*this);
        slot->budgetAtMs = nowMs;
    }
    nowMs_ = nowMs;
    wallMs_ = wallMs;
    changed_ = false;
    slot->assembler.Receive(bytes);
    return std::exchange(changed_, false);
}

void SlaveStatusBoard::take(Connection& connection, const QByteArray& command) {
    if (!isStatusCommand(command)) {
        return;
    }
    const double elapsed =
        static_cast<double>(std::max<std::int64_t>(0, nowMs_ - connection.budgetAtMs));
    connection.budget =
        std::min<double>(ReportsPerSecond, connection.budget + elapsed * ReportsPerSecond / 1000.0);
    connection.budgetAtMs = nowMs_;
    if (connection.budget < 1.0) {
        ++dropped_;
        return;
    }
    connection.budget -= 1.0;
    const std::optional<StatusReport> report = parseStatus(command);
    if (!report) {
        ++dropped_;
        return;
    }
    SlaveStatus& status = connection.status;
    if (const auto* media = std::get_if<StatusMedia>(&*report)) {
        changed_ = changed_ || status.media != *media;
        status.media = *media;
    } else if (const auto* play = std::get_if<StatusPlay>(&*report)) {
        connection.offsets.push_back(wallMs_ - play->sentAtMs);
        if (connection.offsets.size() > OffsetSamples) {
            connection.offsets.pop_front();
        }
        status.clockOffsetMs =
            *std::min_element(connection.offsets.begin(), connection.offsets.end());
        changed_ = changed_ || !status.play || !status.play->sameStateAs(*play);
        status.play = *play;
    } else if (const auto* error = std::get_if<StatusError>(&*report)) {
        changed_ = changed_ || status.error != error->text;
        status.error = error->text;
    }
}

void SlaveStatusBoard::forget(Key connection) {
    connections_.erase(connection);
}

void SlaveStatusBoard::retain(const std::vector<Key>& connected) {
    std::erase_if(connections_, [&](const auto& entry) {
        return std::find(connected.begin(), connected.end(), entry.first) == connected.end();
    });
}

const SlaveStatus* SlaveStatusBoard::find(Key connection) const {
    const auto it = connections_.find(connection);
    return it != connections_.end() ? &it->second->status : nullptr;
}

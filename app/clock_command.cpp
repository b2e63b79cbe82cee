#include "app/clock_command.h"

#include "app/sync_command.h"

#include <QList>

QByteArray startAtCommand(std::int64_t sharedTimeNs) {
    return QByteArray(ClockCode::StartAt) + QByteArray::number(sharedTimeNs);
}

QByteArray joinCommand(const JoinOrder& order) {
    return QByteArray(ClockCode::Join) + QByteArray::number(order.segment) + ',' +
           QByteArray::number(order.frameFromIn) + ',' + QByteArray::number(order.shownAtNs);
}

namespace {

std::optional<JoinOrder> parseJoin(QByteArrayView argument) {
    const QList<QByteArray> parts = argument.toByteArray().split(',');
    if (parts.size() != 3) {
        return std::nullopt;
    }
    const std::optional<std::int32_t> segment = parseDecimal32(parts[0]);
    const std::optional<std::int64_t> frame = parseDecimal64(parts[1]);
    const std::optional<std::int64_t> shownAt = parseDecimal64(parts[2]);
    if (!segment || !frame || !shownAt) {
        return std::nullopt;
    }
    return JoinOrder{*segment, *frame, *shownAt};
}

}  // namespace

bool dispatchClockCommand(QByteArrayView command, ClockCommandTarget& target) {
    const QByteArrayView code = command.first(std::min<qsizetype>(command.size(), 4));
    const QByteArrayView argument = command.size() > 4 ? command.sliced(4) : QByteArrayView();
    if (code == QByteArrayView(ClockCode::StartAt)) {
        if (const std::optional<std::int64_t> time = parseDecimal64(argument)) {
            target.commandStartAt(*time);
        } else {
            target.commandRefused(command);
        }
        return true;
    }
    if (code == QByteArrayView(ClockCode::Join)) {
        if (const std::optional<JoinOrder> order = parseJoin(argument)) {
            target.commandJoin(*order);
        } else {
            target.commandRefused(command);
        }
        return true;
    }
    return false;
}

std::optional<JoinCue> joinCue(const JoinOrder& order, std::int64_t nowNs, std::int64_t leadNs,
                               std::int64_t frameNs) {
    if (frameNs <= 0) {
        return std::nullopt;
    }
    // Frames before the order's one are not the show's to date: the order is from the future or
    // the clocks disagree, and nothing sound can be cued.
    const std::int64_t elapsed = nowNs + leadNs - order.shownAtNs;
    if (elapsed < 0) {
        return std::nullopt;
    }
    const std::int64_t framesOn = elapsed / frameNs;
    return JoinCue{order.frameFromIn + framesOn, order.shownAtNs + (framesOn + 1) * frameNs};
}

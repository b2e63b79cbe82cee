#include "app/sync_command.h"

#include <QList>
#include <array>
#include <limits>

QByteArray frameCommand(QByteArrayView command) {
    QByteArray frame;
    frame.reserve(command.size() + 2);
    frame.append('_').append(command).append('*');
    return frame;
}

namespace SyncCommand {

QByteArray play() {
    return SyncCode::Play;
}

QByteArray stop() {
    return SyncCode::Stop;
}

QByteArray rewind() {
    return SyncCode::Rewind;
}

QByteArray restart() {
    return SyncCode::Restart;
}

QByteArray fullScreenSetting(bool on) {
    return on ? SyncCode::FullScreenSettingOn : SyncCode::FullScreenSettingOff;
}

QByteArray fullScreen(bool on) {
    return on ? SyncCode::FullScreenOn : SyncCode::FullScreenOff;
}

QByteArray language(int index) {
    return index == 0 ? SyncCode::English : SyncCode::German;
}

QByteArray loop(bool on) {
    return on ? SyncCode::LoopOn : SyncCode::LoopOff;
}

QByteArray position(std::int64_t offsetFromIn) {
    return SyncCode::Position + QByteArray::number(offsetFromIn);
}

QByteArray clearList() {
    return SyncCode::ClearList;
}

QByteArray listItem(QByteArrayView item) {
    return SyncCode::ListItem + item.toByteArray();
}

QByteArray cueSegment(std::int32_t index) {
    return SyncCode::CueSegment + QByteArray::number(index);
}

QByteArray positionInSegment(std::int64_t offsetFromIn) {
    return SyncCode::PositionInSegment + QByteArray::number(offsetFromIn);
}

QByteArray startAt(std::int64_t sharedTimeNs) {
    return SyncCode::StartAt + QByteArray::number(sharedTimeNs);
}

QByteArray join(const JoinOrder& order) {
    return SyncCode::Join + QByteArray::number(order.segment) + ',' +
           QByteArray::number(order.frameFromIn) + ',' + QByteArray::number(order.shownAtNs);
}

}  // namespace SyncCommand

std::optional<std::int64_t> parseDecimal64(QByteArrayView text) {
    const bool negative = text.startsWith('-');
    if (negative) {
        text = text.sliced(1);
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    // Accumulated as a negative number: the negative range is one larger.
    std::int64_t value = 0;
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        if (value < (lowest + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == lowest) {
            return std::nullopt;
        }
        value = -value;
    }
    return value;
}

std::optional<std::int32_t> parseDecimal32(QByteArrayView text) {
    const std::optional<std::int64_t> value = parseDecimal64(text);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::optional<JoinOrder> parseJoinOrder(QByteArrayView text) {
    const QList<QByteArray> parts = text.toByteArray().split(',');
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

namespace {

using Handler = void (*)(QByteArrayView command, QByteArrayView argument,
                         SyncCommandTarget& target);

template <void (SyncCommandTarget::*run)()>
void plain(QByteArrayView command, QByteArrayView, SyncCommandTarget& target) {
    target.commandAccepted(command);
    (target.*run)();
}

template <typename T, void (SyncCommandTarget::*run)(T), T value>
void fixed(QByteArrayView command, QByteArrayView, SyncCommandTarget& target) {
    target.commandAccepted(command);
    (target.*run)(value);
}

// A command whose argument must parse; any other argument is refused.
template <typename T, std::optional<T> (*parse)(QByteArrayView), auto run>
void withArgument(QByteArrayView command, QByteArrayView argument, SyncCommandTarget& target) {
    if (const std::optional<T> value = parse(argument)) {
        target.commandAccepted(command);
        (target.*run)(*value);
    } else {
        target.commandRefused(command);
    }
}

struct Entry {
    const char* code;
    Handler run;
};

using T = SyncCommandTarget;

// In the order the codes are compared; the first match runs.
const std::array<Entry, 19> kCommandTable = {{
    {SyncCode::Play, plain<&T::commandPlay>},
    {SyncCode::Stop, plain<&T::commandStop>},
    {SyncCode::Rewind, plain<&T::commandRewind>},
    {SyncCode::Restart, plain<&T::commandRestart>},
    {SyncCode::FullScreenSettingOn, fixed<bool, &T::commandFullScreenSetting, true>},
    {SyncCode::FullScreenSettingOff, fixed<bool, &T::commandFullScreenSetting, false>},
    {SyncCode::FullScreenOn, fixed<bool, &T::commandFullScreen, true>},
    {SyncCode::FullScreenOff, fixed<bool, &T::commandFullScreen, false>},
    {SyncCode::English, fixed<int, &T::commandLanguage, 0>},
    {SyncCode::German, fixed<int, &T::commandLanguage, 1>},
    {SyncCode::LoopOn, fixed<bool, &T::commandLoop, true>},
    {SyncCode::LoopOff, fixed<bool, &T::commandLoop, false>},
    {SyncCode::Position, withArgument<std::int64_t, parseDecimal64, &T::commandPosition>},
    {SyncCode::ClearList, plain<&T::commandClearList>},
    {SyncCode::ListItem, withArgument<std::int32_t, parseDecimal32, &T::commandListItem>},
    {SyncCode::CueSegment, withArgument<std::int32_t, parseDecimal32, &T::commandCueSegment>},
    {SyncCode::PositionInSegment,
     withArgument<std::int64_t, parseDecimal64, &T::commandPositionInSegment>},
    {SyncCode::StartAt, withArgument<std::int64_t, parseDecimal64, &T::commandStartAt>},
    {SyncCode::Join, withArgument<JoinOrder, parseJoinOrder, &T::commandJoin>},
}};

}  // namespace

bool dispatchSyncCommand(QByteArrayView command, SyncCommandTarget& target) {
    const QByteArrayView code = command.first(std::min<qsizetype>(command.size(), 4));
    const QByteArrayView argument = command.size() > 4 ? command.sliced(4) : QByteArrayView();
    for (const Entry& entry : kCommandTable) {
        if (code == QByteArrayView(entry.code)) {
            entry.run(command, argument, target);
            return true;
        }
    }
    return false;
}

namespace {

QByteArray encodeHelloText(const QString& text) {
    return text.left(MasterHello::MaxTextLength).toUtf8().toPercentEncoding(QByteArray(), "_*");
}

std::optional<QString> decodeHelloText(QByteArrayView text) {
    if (text.size() > MasterHello::MaxTextLength * 4 * 3) {
        return std::nullopt;
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(text.toByteArray());
    const QString decoded = QString::fromUtf8(bytes);
    // Invalid UTF-8 would come back changed.
    if (decoded.toUtf8() != bytes) {
        return std::nullopt;
    }
    return decoded;
}

}  // namespace

QByteArray SyncCommand::hello(const MasterHello& hello) {
    return SyncCode::Hello + encodeHelloText(hello.version) + ',' + encodeHelloText(hello.showName);
}

std::optional<MasterHello> parseHello(QByteArrayView command) {
    if (!command.startsWith(SyncCode::Hello)) {
        return std::nullopt;
    }
    const QByteArrayView argument = command.sliced(4);
    const qsizetype comma = argument.indexOf(',');
    if (comma < 0) {
        return std::nullopt;
    }
    const std::optional<QString> version = decodeHelloText(argument.first(comma));
    const std::optional<QString> showName = decodeHelloText(argument.sliced(comma + 1));
    if (!version || !showName) {
        return std::nullopt;
    }
    return MasterHello{*version, *showName};
}

bool sameShow(const QString& mine, const QString& theirs) {
    const QString a = mine.trimmed();
    const QString b = theirs.trimmed();
    return a.isEmpty() || b.isEmpty() || a.compare(b, Qt::CaseInsensitive) == 0;
}

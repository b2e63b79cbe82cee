#include "app/rejected_commands.h"

QString RejectedCommands::sample(QByteArrayView command) {
    QString text;
    for (const char c : command.first(std::min(command.size(), SampleLength))) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            text += QLatin1Char(c);
        } else {
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
    }
    if (command.size() > SampleLength) {
        text += QStringLiteral("...");
    }
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QStringList RejectedCommands::note(Reason reason, QByteArrayView command, std::int64_t nowMs) {
    QStringList lines;
    refusedInLines_ = false;
    if (periodStart_ && nowMs - *periodStart_ >= PeriodMs) {
        lines = summary();
        periodStart_.reset();
    }
    if (!periodStart_) {
        periodStart_ = nowMs;
        refusedInLines_ = refusedInLines_ || reason == Reason::Refused;
        lines << (reason == Reason::Unknown
                      ? QStringLiteral("unknown command ignored: ")
                      : QStringLiteral("command with an argument that is no number ignored: ")) +
                     sample(command);
        return lines;
    }
    ++(reason == Reason::Unknown ? unknown_ : refused_);
    last_ = sample(command);
    return lines;
}

QStringList RejectedCommands::flush(std::int64_t nowMs) {
    refusedInLines_ = false;
    if (!periodStart_ || nowMs - *periodStart_ < PeriodMs) {
        return {};
    }
    const QStringList lines = summary();
    // A flood goes on being counted; after a quiet second the next command is told at once.
    if (lines.isEmpty()) {
        periodStart_.reset();
    } else {
        periodStart_ = nowMs;
    }
    return lines;
}

std::optional<std::int64_t> RejectedCommands::flushDue() const {
    if (!periodStart_ || unknown_ + refused_ == 0) {
        return std::nullopt;
    }
    return *periodStart_ + PeriodMs;
}

QStringList RejectedCommands::summary() {
    if (unknown_ + refused_ == 0) {
        return {};
    }
    refusedInLines_ = refused_ > 0;
    const QString line = QStringLiteral(
                             "%1 more commands ignored in the last second (%2 unknown, %3 with an "
                             "argument that is no number), the last: %4")
                             .arg(unknown_ + refused_)
                             .arg(unknown_)
                             .arg(refused_)
                             .arg(last_);
    unknown_ = 0;
    refused_ = 0;
    last_.clear();
    return {line};
}

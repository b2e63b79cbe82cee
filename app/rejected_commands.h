#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What a receiver tells about the commands it could not use (an unknown code, an argument that
// is no number). A link full of garbage must cost a line a second, not a line a frame: the first
// such command after a quiet second is told at once, the ones that follow within the second are
// counted, and the count goes out with the last of them when the second is over.
// Times are milliseconds of one monotonic clock.
class RejectedCommands {
public:
    static constexpr std::int64_t PeriodMs = 1000;
    static constexpr qsizetype SampleLength = 32;
    enum class Reason { Unknown, Refused };

    // The lines to log for this command now (none while counting).
    QStringList note(Reason reason, QByteArrayView command, std::int64_t nowMs);
    // Once the second is over: the line with the count, if anything was counted; counting goes
    // on into the next second only then.
    QStringList flush(std::int64_t nowMs);
    // When flush() has something to say, while commands are being counted.
    std::optional<std::int64_t> flushDue() const;
    // True when a line of the last call was about refused commands (a warning, not news).
    bool refusedInLastLines() const { return refusedInLines_; }

    // The command as a short printable text: at most SampleLength bytes, others as \xNN.
    static QString sample(QByteArrayView command);

private:
    QStringList summary();

    std::optional<std::int64_t> periodStart_;
    std::int64_t unknown_ = 0;
    std::int64_t refused_ = 0;
    QString last_;
    bool refusedInLines_ = false;
};

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What is logged about each peer host. A host that connects, leaves or changes its state faster
// than anybody reads must cost a few lines a second, not a line an event, or it wipes the show's
// history out of the rotating log. Within a host's second its first Burst lines go out at once;
// the ones that follow are counted, and once the second is over one line tells their count and
// the last of them, and the next second begins. After a quiet second the host starts afresh.
// Times are milliseconds of one monotonic clock.
class HostLogBudget {
public:
    static constexpr std::int64_t PeriodMs = 1000;
    static constexpr int Burst = 10;

    // The lines to log now for this line about the host: the count of its last second if that
    // is over, and the line itself unless it is counted.
    QStringList note(const QString& host, const QString& line, std::int64_t nowMs);
    // The counts of every host whose second is over.
    QStringList flush(std::int64_t nowMs);
    // When flush() has something to say.
    std::optional<std::int64_t> flushDue() const;

private:
    struct Period {
        std::int64_t startMs = 0;
        int told = 0;
        std::int64_t counted = 0;
        QString last;
    };
    static QString summary(const QString& host, const Period& period);

    QHash<QString, Period> hosts_;
};

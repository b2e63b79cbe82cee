#pragma once

#include "app/rotating_log_file.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// The show report: one CSV line per segment start on the Master,
//
//   <local time>,<segment>,<name>,<started frame>,<late ms>,<name>,<started frame>,<late ms>,...
//
// the Master first, then each Slave connected at the start. The name is "Master" or a Slave's
// address and its own name, with "not responding" or "frozen" after it when it was so while the
// line waited. The started frame counts from the instance's own In point; late is how far its
// picture started behind the Master's, in ms. A value that did not arrive before the next start
// is left empty. The file is rotated like
// the event log. User-interface thread only.
class ShowReport {
public:
    static constexpr qint64 MaxFileBytes = 1 << 20;
    static constexpr int KeptOldFiles = 3;

    explicit ShowReport(const QString& path);
    // Writes the line still waiting.
    ~ShowReport();
    ShowReport(const ShowReport&) = delete;
    ShowReport& operator=(const ShowReport&) = delete;

    // An instance of a line: its stable id and the name the line gives it.
    struct Instance {
        QString id;
        QString name;
    };
    // A start: the line of the previous one is written, whatever it lacks, and a new one waits
    // for the instances given (the Master first).
    void begin(const QDateTime& time, std::int32_t segment, const std::vector<Instance>& instances);
    // What one instance reports of the start waiting: its started frame and when its picture
    // started (Master's wall clock). The line is written once every instance has reported.
    void record(const QString& id, std::int32_t segment, std::int64_t startFrame,
                std::int64_t startedAtMs);
    // The instance is not well ("not responding", "frozen"): the waiting line says so beside its
    // name, once however often it is told.
    void markUnwell(const QString& id, const QString& health);
    // Writes the line still waiting, if any.
    void finish();

    struct Entry {
        QString id;
        QString name;
        std::optional<std::int64_t> startFrame;
        std::optional<std::int64_t> startedAtMs;
    };
    static QByteArray formatLine(const QDateTime& time, std::int32_t segment,
                                 const std::vector<Entry>& entries);

private:
    struct Pending {
        QDateTime time;
        std::int32_t segment = 0;
        std::vector<Entry> entries;
    };

    Entry* pendingEntry(const QString& id);

    RotatingLogFile file_;
    std::optional<Pending> pending_;
};

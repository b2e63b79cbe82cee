#include "app/event_log.h"
#include "app/rotating_log_file.h"
#include "net/host_log_budget.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <ctime>

namespace {

Q_LOGGING_CATEGORY(lcTestSync, "framelock.sync", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTestOther, "elsewhere.test", QtWarningMsg)

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The rules as the environment gives them, put back after each case.
class EventLogTest : public testing::Test {
protected:
    void TearDown() override { QLoggingCategory::setFilterRules(QString()); }
    QTemporaryDir dir;
};

TEST_F(EventLogTest, FileRotatesWholeLinesAndKeepsThreeOlderFiles) {
    const QString path = dir.filePath(QStringLiteral("frameLock.log"));
    RotatingLogFile file(path, 100, 3);
    EXPECT_FALSE(QFile::exists(path)) << "made before anything was written";
    // Line n is 40 bytes: two fit in a file, the third starts the next.
    const auto line = [](int n) { return QByteArray::number(n).rightJustified(39, '.') + '\n'; };
    for (int n = 1; n <= 12; ++n) {
        ASSERT_TRUE(file.write(line(n)));
    }
    EXPECT_EQ(contents(path), line(11) + line(12));
    EXPECT_EQ(contents(path + ".1"), line(9) + line(10));
    EXPECT_EQ(contents(path + ".2"), line(7) + line(8));
    EXPECT_EQ(contents(path + ".3"), line(5) + line(6));
    EXPECT_FALSE(QFile::exists(path + ".4"));
    // A line longer than a whole file is still written, alone.
    const QByteArray huge(300, 'x');
    ASSERT_TRUE(file.write(huge));
    EXPECT_EQ(contents(path), huge);
    EXPECT_EQ(contents(path + ".1"), line(11) + line(12));
}

TEST_F(EventLogTest, LineCarriesBothClocksCategoryAndOneLineMessage) {
    const timespec monotonic{81234, 567891234};
    const QDateTime wall(QDate(2026, 12, 7), QTime(13, 5, 1, 123));
    EXPECT_EQ(
        EventLog::formatLine(monotonic, wall, "framelock.sync", QStringLiteral("sent\nDoNC1")),
        QByteArray("81234.567891 2026-12-07T13:05:01.123 framelock.sync sent DoNC1\n"));
    const timespec early{5, 1000};
    EXPECT_TRUE(
        EventLog::formatLine(early, wall, "framelock.net", QString()).startsWith("5.000001 "));
}

TEST_F(EventLogTest, OffByDefaultNoHandlerAndNoFile) {
    EXPECT_FALSE(EventLog::wanted());
    const EventLog log(dir.path());
    EXPECT_FALSE(log.active());
    qCWarning(lcTestSync) << "a warning without the log";
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("frameLock.log"))));
}

TEST_F(EventLogTest, RulesSwitchItOnForFrameLockCategoriesOnly) {
    QLoggingCategory::setFilterRules(QStringLiteral("framelock.media=true"));
    ASSERT_TRUE(EventLog::wanted());
    const double before = monotonicNow();
    {
        const EventLog log(dir.path());
        ASSERT_TRUE(log.active());
        // Switched on by framelock.media, the log takes every framelock category's messages.
        qCWarning(lcTestSync) << "sent" << 7;
        qCWarning(lcTestOther) << "not for installers";
    }
    const double after = monotonicNow();
    qCWarning(lcTestSync) << "after the log is gone";
    const QList<QByteArray> lines =
        contents(dir.filePath(QStringLiteral("frameLock.log"))).split('\n');
    ASSERT_EQ(lines.size(), 2) << lines.join('|').toStdString();
    EXPECT_TRUE(lines[1].isEmpty());
    const QRegularExpression format(QStringLiteral(
        R"(^(\d+\.\d{6}) \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} framelock\.sync sent 7$)"));
    const QRegularExpressionMatch match = format.match(QString::fromUtf8(lines[0]));
    ASSERT_TRUE(match.hasMatch()) << lines[0].toStdString();
    const double stamped = match.captured(1).toDouble();
    EXPECT_GE(stamped, before - 1e-6);
    EXPECT_LE(stamped, after + 1e-6);
}

// A host that connects a thousand times a second for ten seconds costs a few lines a second;
// every one of its events is still counted, and another host's lines go out as they come.
TEST(HostLogBudget, AFloodingHostIsToldAsACountASecondAndOthersAsTheyCome) {
    HostLogBudget budget;
    QStringList logged;
    std::int64_t told = 0;
    std::int64_t counted = 0;
    const QRegularExpression count(
        QStringLiteral("^10\\.0\\.0\\.9: (\\d+) more lines in the last "
                       "second, the last: connect \\d+$"));
    const auto take = [&](const QStringList& lines) {
        for (const QString& line : lines) {
            logged << line;
            const QRegularExpressionMatch match = count.match(line);
            if (match.hasMatch()) {
                counted += match.captured(1).toLongLong();
            } else if (line.startsWith(QStringLiteral("connect "))) {
                ++told;
            }
        }
    };
    for (std::int64_t ms = 0; ms < 10'000; ++ms) {
        if (const auto due = budget.flushDue(); due && *due <= ms) {
            take(budget.flush(ms));
        }
        take(budget.note(QStringLiteral("10.0.0.9"), QStringLiteral("connect %1").arg(ms), ms));
        if (ms % 2'500 == 0) {
            const QString line = QStringLiteral("slave 10.0.0.2:4000  seg %1").arg(ms);
            take(budget.note(QStringLiteral("10.0.0.2"), line, ms));
            EXPECT_EQ(logged.back(), line);
        }
    }
    take(budget.flush(10'000));
    EXPECT_EQ(told + counted, 10'000);
    EXPECT_LE(logged.size(), 10 * (HostLogBudget::Burst + 1) + 4);
    EXPECT_EQ(logged[HostLogBudget::Burst + 1],
              QStringLiteral("10.0.0.9: 990 more lines in the last second, the last: connect 999"));
    EXPECT_EQ(budget.flushDue(), std::nullopt);
    // After a quiet second the host starts afresh, its first line told at once.
    EXPECT_EQ(budget.note(QStringLiteral("10.0.0.9"), QStringLiteral("back"), 12'000),
              QStringList{QStringLiteral("back")});
}

}  // namespace

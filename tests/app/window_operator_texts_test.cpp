// What an installer reads in the window: every text in the chosen language, whole, while the
// event log stays English; a file choice that fails keeps the file that played.
#include "media/fake_media_service.h"
#include "media/graph_player.h"
#include "net/loopback.h"
#include "net/simple_tcp_server.h"
#include "widgets/gui/status_box.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QLoggingCategory>
#include <QTest>

namespace {

const QStringList kGerman{QStringLiteral("sbGerman_Down=True"), QStringLiteral("sbUSA_Down=False")};

WindowSettings germanSlave(quint16 port) {
    WindowSettings settings;
    settings.master = false;
    settings.port = port;
    settings.more = kGerman;
    return settings;
}

QStringList logLines;

void keepLogLine(QtMsgType, const QMessageLogContext& context, const QString& message) {
    logLines << QString::fromLatin1(context.category) + QLatin1Char(' ') + message;
}

// The event log of the framelock categories while it lives.
class LogCapture {
public:
    LogCapture() {
        logLines.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("framelock.*=true"));
        previous_ = qInstallMessageHandler(keepLogLine);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

private:
    QtMessageHandler previous_;
};

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(WindowMediaFile, AnUnplayableChoiceKeepsTheFileThatPlaysAndSaysWhy) {
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.avi"));
    const QString bad = dir.filePath(QStringLiteral("bad.avi"));
    touch(good);
    touch(bad);
    WindowSettings settings;
    settings.port = freePort();
    settings.file = good;
    WindowHarness h(settings.text());
    h.show();
    ASSERT_TRUE(h.window().player().MediaOpen());
    h.media().config.unplayable = {bad};
    h.dialogs.fileAnswers.push_back(bad);
    h.ui().bFile->click();
    EXPECT_EQ(h.ui().eFilename->text(), good);
    EXPECT_TRUE(h.window().player().MediaOpen());
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(
        h.dialogs.messages[0].text,
        QStringLiteral("The media file cannot be played.\nIt is there, but its content cannot "
                       "be played (an unknown format or a damaged file):\n") +
            bad + QStringLiteral("\n\nThe previous file stays chosen:\n") + good);

    // A cancelled choice keeps it as well.
    h.dialogs.fileAnswers.push_back(std::nullopt);
    h.ui().bFile->click();
    EXPECT_EQ(h.ui().eFilename->text(), good);
    EXPECT_TRUE(h.window().player().MediaOpen());
    h.close();
    EXPECT_TRUE(h.settingsFile().contains(("eFilename_Text=" + good).toUtf8()));
}

// A Slave whose Master is not there yet: its status box says why in German, whole, and in
// English after the switch; the log says it in English throughout.
TEST(WindowOperatorTexts, ALinkFailureIsShownWholeInTheLanguageAndLoggedInEnglish) {
    const quint16 port = freePort();
    LogCapture log;
    WindowSettings settings = germanSlave(port);
    settings.file.clear();
    settings.more << QStringLiteral("ClientStatusTimer_Interval=60000");
    WindowHarness slave(settings.text());
    slave.show();
    TStatusBox* box = slave.ui().eClientStatus;
    const QString german = QStringLiteral(
                               "Verbindung abgelehnt: an 127.0.0.1 Port %1 wartet niemand "
                               "(läuft der Master?)")
                               .arg(port);
    ASSERT_TRUE(waitFor([&] { return box->text() == german; })) << box->text().toStdString();
    // Whole: the box holds every wrapped line, and the window holds the box.
    EXPECT_GT(box->height(), 24);
    EXPECT_GE(box->height(), box->heightForWidth(box->width()));
    EXPECT_LE(slave.ui().gbLanSlave->geometry().bottom(), slave.window().height());
    EXPECT_TRUE(box->toolTip().startsWith(german));
    // A window the operator widens gives the text a wider box, and the lines it needs fewer.
    const int narrow = box->height();
    slave.window().resize(slave.window().width() + 400, slave.window().height());
    EXPECT_EQ(slave.ui().gbLanSlave->width(), slave.window().width());
    EXPECT_EQ(box->geometry().right() + 1 + 8, slave.window().width());
    EXPECT_LT(box->height(), narrow);
    EXPECT_GE(box->height(), box->heightForWidth(box->width()));

    QTest::mouseClick(slave.ui().sbUSA, Qt::LeftButton);
    EXPECT_EQ(box->text(), QStringLiteral("Connection refused: nothing listens on 127.0.0.1 port "
                                          "%1 (is the Master running?)")
                               .arg(port));
    EXPECT_EQ(logLines.filter(QStringLiteral("nothing listens on 127.0.0.1 port")).size(),
              logLines.filter(QStringLiteral("Connection refused")).size());
    EXPECT_GE(logLines.filter(QStringLiteral("Connection refused")).size(), 1);
    EXPECT_TRUE(logLines.filter(QStringLiteral("Verbindung")).isEmpty());
}

// The Master's list shows a German Slave's missing file in German, logs it in English and drops
// the problem once the file opens.
TEST(WindowOperatorTexts, ASlavesMediaProblemLeavesTheMastersListWhenItsFileOpens) {
    const quint16 port = freePort();
    QTemporaryDir drive;
    const QString file = drive.filePath(QStringLiteral("film.avi"));
    LogCapture log;
    WindowSettings masterSettings;
    masterSettings.port = port;
    masterSettings.more = kGerman;
    WindowHarness master(masterSettings.text());
    WindowSettings slaveSettings = germanSlave(port);
    slaveSettings.file = file;
    slaveSettings.more << QStringLiteral("ClientStatusTimer_Interval=100");
    WindowHarness slave(slaveSettings.text());
    slave.media().config.render = false;
    master.show();
    slave.show();
    const auto entry = [&] {
        return master.ui().lbConnected->count() == 1 ? master.ui().lbConnected->item(0)->text()
                                                     : QString();
    };
    ASSERT_TRUE(waitFor([&] {
        return entry().contains(QStringLiteral("nicht abspielbar: film.avi"));
    })) << entry().toStdString();
    EXPECT_TRUE(entry().contains(QStringLiteral("keine Datei"))) << entry().toStdString();
    EXPECT_FALSE(logLines.filter(QStringLiteral("cannot play: film.avi")).isEmpty());
    EXPECT_TRUE(logLines.filter(QStringLiteral("nicht abspielbar")).isEmpty());
    EXPECT_TRUE(logLines.filter(QStringLiteral("keine Datei")).isEmpty());

    touch(file);
    slave.media().config.render = true;
    slave.window().MediaRetryTimerTimer();
    ASSERT_TRUE(slave.window().player().MediaOpen());
    EXPECT_TRUE(waitFor([&] {
        return !entry().isEmpty() && !entry().contains(QStringLiteral("film.avi")) &&
               !entry().contains(QStringLiteral("keine Datei"));
    })) << entry().toStdString()
        << logLines.join(QLatin1Char('\n')).toStdString();
}

}  // namespace

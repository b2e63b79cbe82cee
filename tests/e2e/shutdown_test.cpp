// How the real program ends: stopped as a service manager stops it (SIGTERM, SIGINT) or by the
// quit key, in the states a show can be in (full screen, a box up at start-up), after a damaged
// language file, and with settings that cannot be written. An ending that hangs leaves a process
// with no window behind, which a service manager then kills: every case asks for the exit code
// within a few seconds.
#include "e2e/show_instance.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdlib>

namespace {

// Far more than an orderly end takes, far less than a service manager's patience.
constexpr int EndsWithinMs = 10000;
constexpr double AppearsWithin = 30;
const QString MainTitle = QStringLiteral("frameLock PRO");
const QString VideoTitle = QStringLiteral("frameLock PRO Video");
const QString LanguageBoxTitle = QStringLiteral("frameLock PRO Interface Setup");
const QString MediaBoxTitle = QStringLiteral("Open media file");

unsigned long waitForWindow(const ShowInstance& instance, const QString& title) {
    unsigned long window = 0;
    waitUntil([&] { return (window = desktop::findWindow(instance.pid(), title)) != 0; },
              AppearsWithin);
    return window;
}

// Every visible window of the instance titled exactly `title`.
QStringList windowsTitled(const ShowInstance& instance, const QString& title) {
    QProcess xdotool;
    xdotool.start(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
         QStringLiteral("--pid"), QString::number(instance.pid()), QStringLiteral("--name"),
         QLatin1Char('^') + title + QLatin1Char('$')});
    xdotool.waitForFinished(20000);
    return QString::fromLatin1(xdotool.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray settingsOf(const ShowInstance& instance) {
    QFile file(instance.dir() + QStringLiteral("/frameLock.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string report(const ShowInstance& instance) {
    QString text = QStringLiteral("---- ") + instance.name() + QStringLiteral(" ----\n");
    for (const LogLine& line : instance.log()) {
        text += QString::number(line.monotonic, 'f', 6) + QLatin1Char(' ') + line.category +
                QLatin1Char(' ') + line.message + QLatin1Char('\n');
    }
    return (text + instance.output()).toStdString();
}

bool stillShows(const ShowInstance& instance, const QString& title, double seconds) {
    // Whether the window is there all the time: the first moment it is gone ends the wait.
    return !waitUntil([&] { return desktop::findWindow(instance.pid(), title) == 0; }, seconds);
}

ShowSettings master(quint16 port, const QString& clip) {
    ShowSettings s;
    s.port = port;
    s.clip = clip;
    s.syncPoints = {QStringLiteral("40"), QStringLiteral("90")};
    return s;
}

ShowSettings slave(quint16 port, const QString& clip) {
    ShowSettings s = master(port, clip);
    s.master = false;
    return s;
}

void replaceLanguageFile(const ShowInstance& instance, const QByteArray& from,
                         const QByteArray& to) {
    QFile file(instance.dir() + QStringLiteral("/english.lng"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    ASSERT_TRUE(text.contains(from));
    text.replace(text.indexOf(from), from.size(), to);
    file.resize(0);
    file.seek(0);
    file.write(text);
}

TEST(Shutdown, FullScreenInstancesEndOnTheQuitKeyAndOnSigterm) {
    QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("show.avi"));
    makeClip(clip, 100);
    const quint16 port = freePort();
    ShowSettings leader = master(port, clip);
    leader.fullScreen = true;
    // The Slave's own box is off: its Master's "FSc1" alone puts it on the full screen.
    ShowInstance m(QStringLiteral("master"), leader);
    ShowInstance s(QStringLiteral("slave"), slave(port, clip));
    m.start();
    ASSERT_NE(m.waitFor(QStringLiteral("listening"), 0, AppearsWithin), std::nullopt) << report(m);
    s.start();
    ASSERT_NE(m.waitFor(QStringLiteral("slave connected"), 0, AppearsWithin), std::nullopt)
        << report(m);
    const unsigned long mainWindow = waitForWindow(m, MainTitle);
    ASSERT_NE(mainWindow, 0u) << report(m);
    desktop::pressKey(mainWindow, QStringLiteral("F1"));
    for (const ShowInstance* instance : {&m, &s}) {
        ASSERT_TRUE(waitUntil(
            [&] {
                const unsigned long video = desktop::findWindow(instance->pid(), VideoTitle);
                return video != 0 && desktop::isFullScreen(video);
            },
            AppearsWithin))
            << report(*instance);
    }

    s.signal(SIGTERM);
    EXPECT_EQ(s.waitForExit(EndsWithinMs), 0) << report(s);
    EXPECT_TRUE(settingsOf(s).contains("FormVersion=0")) << "the Slave did not save";

    desktop::pressKey(desktop::findWindow(m.pid(), VideoTitle), QStringLiteral("Q"));
    EXPECT_EQ(m.waitForExit(EndsWithinMs), 0) << report(m);
    EXPECT_TRUE(settingsOf(m).contains("cbFullscreen_Checked=True")) << "the Master did not save";
}

TEST(Shutdown, AMediaFileMissingAtStartUpKeepsTheShowAndTheLinkWhileItsBoxIsUp) {
    QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("show.avi"));
    makeClip(clip, 100);
    // One drive is mounted while the box is up, the other never is.
    const QString late = clips.filePath(QStringLiteral("late/film.avi"));
    const QString absent = clips.filePath(QStringLiteral("absent/film.avi"));
    const quint16 port = freePort();
    ShowInstance m(QStringLiteral("master"), master(port, clip));
    ShowInstance waiting(QStringLiteral("slave waiting for its drive"), slave(port, late));
    ShowInstance lost(QStringLiteral("slave whose drive never comes"), slave(port, absent));
    m.start();
    waiting.start();
    lost.start();
    for (const ShowInstance* instance : {&waiting, &lost}) {
        ASSERT_NE(waitForWindow(*instance, MediaBoxTitle), 0u) << report(*instance);
    }
    // Nobody answers the boxes, yet both Slaves join their Master.
    ASSERT_TRUE(waitUntil(
        [&] {
            int connected = 0;
            for (const LogLine& line : m.log()) {
                connected += line.message.startsWith(QStringLiteral("slave connected")) ? 1 : 0;
            }
            return connected == 2;
        },
        AppearsWithin))
        << report(m);

    ASSERT_TRUE(QDir().mkpath(clips.filePath(QStringLiteral("late"))));
    makeClip(late, 100);
    EXPECT_NE(waiting.waitFor(QStringLiteral("opened ") + late, 0, AppearsWithin), std::nullopt)
        << report(waiting);
    // Its box goes by itself once the file opens; waited for, so that no window comes or goes
    // while the other box is watched.
    EXPECT_TRUE(waitUntil([&] { return desktop::findWindow(waiting.pid(), MediaBoxTitle) == 0; },
                          AppearsWithin))
        << report(waiting);
    std::size_t retries = 0;
    for (const LogLine& line : lost.log()) {
        retries += line.message.contains(QStringLiteral("trying again")) ? 1 : 0;
    }
    EXPECT_EQ(retries, 1u) << report(lost);
    // The box of a file that never comes stays until it is answered.
    EXPECT_TRUE(stillShows(lost, MediaBoxTitle, 2)) << report(lost);

    // Stopped with the box unanswered, the Slave still names its file in its settings.
    lost.signal(SIGINT);
    EXPECT_EQ(lost.waitForExit(EndsWithinMs), 0) << report(lost);
    EXPECT_TRUE(settingsOf(lost).contains("eFilename_Text=" + absent.toLocal8Bit()))
        << settingsOf(lost).toStdString();
    waiting.signal(SIGTERM);
    EXPECT_EQ(waiting.waitForExit(EndsWithinMs), 0) << report(waiting);
    EXPECT_TRUE(settingsOf(waiting).contains("eFilename_Text=" + late.toLocal8Bit()));
}

TEST(Shutdown, ADamagedLanguageFileEndsTheRunWithAFailureOnceItsBoxesAreAnswered) {
    ShowInstance missing(QStringLiteral("language file missing"), master(0, {}));
    QFile::remove(missing.dir() + QStringLiteral("/english.lng"));
    ShowInstance misnamed(QStringLiteral("entry naming a missing control"), master(0, {}));
    replaceLanguageFile(misnamed, "\nfFrameLock.bAbout.", "\nfFrameLock.bAboutBox.");
    ShowInstance stopped(QStringLiteral("stopped at its box"), master(0, {}));
    QFile::remove(stopped.dir() + QStringLiteral("/english.lng"));

    missing.start();
    const unsigned long box = waitForWindow(missing, LanguageBoxTitle);
    ASSERT_NE(box, 0u) << report(missing);
    EXPECT_TRUE(stillShows(missing, LanguageBoxTitle, 2)) << report(missing);
    desktop::pressKey(box, QStringLiteral("Return"));
    const int code = missing.waitForExit(EndsWithinMs);
    EXPECT_NE(code, 0) << report(missing);
    EXPECT_NE(code, -1) << report(missing);

    misnamed.start();
    // Its main window is not up before the language is applied: this is the "Can´t find" box.
    const unsigned long cantFind = waitForWindow(misnamed, MainTitle);
    ASSERT_NE(cantFind, 0u) << report(misnamed);
    EXPECT_EQ(desktop::findWindow(misnamed.pid(), LanguageBoxTitle), 0u);
    desktop::pressKey(cantFind, QStringLiteral("Return"));
    const unsigned long notCorrect = waitForWindow(misnamed, LanguageBoxTitle);
    ASSERT_NE(notCorrect, 0u) << report(misnamed);
    desktop::pressKey(notCorrect, QStringLiteral("Return"));
    EXPECT_EQ(misnamed.waitForExit(EndsWithinMs), EXIT_FAILURE) << report(misnamed);

    // Stopped while the box is up, the run ends as any stop does.
    stopped.start();
    ASSERT_NE(waitForWindow(stopped, LanguageBoxTitle), 0u) << report(stopped);
    stopped.signal(SIGTERM);
    EXPECT_EQ(stopped.waitForExit(EndsWithinMs), 0) << report(stopped);
}

TEST(Shutdown, SettingsThatCannotBeWrittenAreReportedAndAskedAboutOnlyAtAClosingByHand) {
    ShowInstance service(QStringLiteral("stopped by its service manager"), master(0, {}));
    ShowInstance operatorClosed(QStringLiteral("closed by its operator"), master(0, {}));
    for (ShowInstance* instance : {&service, &operatorClosed}) {
        instance->start();
        ASSERT_NE(waitForWindow(*instance, MainTitle), 0u) << report(*instance);
        // A directory in the file's place: no write can replace it, not even root's.
        const QString ini = instance->dir() + QStringLiteral("/frameLock.ini");
        ASSERT_TRUE(QFile::remove(ini));
        ASSERT_TRUE(QDir().mkdir(ini));
    }

    service.signal(SIGTERM);
    EXPECT_EQ(service.waitForExit(EndsWithinMs), 0) << report(service);
    EXPECT_TRUE(service.output().contains(QStringLiteral("Unable to write to"))) << report(service);

    const unsigned long mainWindow = desktop::findWindow(operatorClosed.pid(), MainTitle);
    QProcess::execute(QStringLiteral("wmctrl"),
                      {QStringLiteral("-i"), QStringLiteral("-c"), QString::number(mainWindow)});
    // The box comes up beside the closing window, under the same title.
    ASSERT_TRUE(waitUntil([&] { return windowsTitled(operatorClosed, MainTitle).size() == 2; },
                          AppearsWithin))
        << report(operatorClosed);
    unsigned long box = 0;
    for (const QString& id : windowsTitled(operatorClosed, MainTitle)) {
        box = id.toULong() != mainWindow ? id.toULong() : box;
    }
    desktop::pressKey(box, QStringLiteral("Return"));
    EXPECT_EQ(operatorClosed.waitForExit(EndsWithinMs), 0) << report(operatorClosed);
    EXPECT_TRUE(operatorClosed.output().contains(QStringLiteral("Unable to write to")));
}

}  // namespace

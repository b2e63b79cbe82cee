// The settings file as the real program reads and writes it: hand-edited numbers that would stop
// a show, and restarts under a window manager (Openbox on Xvfb) stopped the way a service manager
// does, a few seconds after start.
#include "e2e/show_instance.h"
#include "storage/profile_document.h"
#include "storage/profile_file.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <array>
#include <optional>

namespace {

QString settingsPath(const ShowInstance& instance) {
    return instance.dir() + QStringLiteral("/frameLock.ini");
}

void setKey(const ShowInstance& instance, const QByteArray& key, const QByteArray& value) {
    ProfileDocument settings = readProfileFile(settingsPath(instance));
    settings.writeString("System", key, value);
    ASSERT_TRUE(writeProfileFile(settingsPath(instance), settings, nullptr));
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Where the X server has the window's frame: the client's place on the screen less the frame's
// left and top widths that the window manager announces. Nothing while it has not framed it.
std::optional<QPoint> serverFramePosition(unsigned long window) {
    const QString id = QString::number(window);
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    const QString extents = run(QStringLiteral("xprop"),
                                {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
    const QRegularExpressionMatch x =
        QRegularExpression(QStringLiteral("Absolute upper-left X:\\s*(-?\\d+)")).match(info);
    const QRegularExpressionMatch y =
        QRegularExpression(QStringLiteral("Absolute upper-left Y:\\s*(-?\\d+)")).match(info);
    // left, right, top, bottom
    const QRegularExpressionMatch frame =
        QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(extents);
    if (!x.hasMatch() || !y.hasMatch() || !frame.hasMatch()) {
        return std::nullopt;
    }
    return QPoint(x.captured(1).toInt() - frame.captured(1).toInt(),
                  y.captured(1).toInt() - frame.captured(3).toInt());
}

void pause(double seconds) {
    waitUntil([] { return false; }, seconds);
}

// With a port of 0 the Master would listen where no Slave looks, with a start interval of 0 it
// would never start on its own.
TEST(SettingsInTheProgram, MasterWithPortAndStartIntervalOfZeroListensOnItsPortAndStarts) {
    QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("show.avi"));
    makeClip(clip, 50);
    ShowSettings settings;
    settings.clip = clip;
    settings.syncPoints = {QStringLiteral("0"), QStringLiteral("25")};
    settings.autoStart = true;
    settings.openTimerMs = 0;
    settings.port = 0;
    ShowInstance master(QStringLiteral("Master"), settings);
    master.start();
    const auto listening = master.waitFor(QStringLiteral("listening on port"), 0, 30);
    ASSERT_TRUE(listening) << logOf(master).toStdString();
    EXPECT_EQ(listening->message, QStringLiteral("listening on port 8234"));
    EXPECT_TRUE(master.waitFor(QStringLiteral("started frame"), 0, 30))
        << logOf(master).toStdString();
}

// With a retry interval of 0 or "abc" a Slave would try once and never again.
TEST(SettingsInTheProgram, SlavesWithUnusableRetryIntervalsJoinAMasterThatStartsLater) {
    ShowSettings settings;
    settings.master = false;
    settings.port = freePort();
    ShowInstance slaveAtZero(QStringLiteral("Slave, retry 0"), settings);
    ShowInstance slaveAtText(QStringLiteral("Slave, retry abc"), settings);
    setKey(slaveAtZero, "ClientStatusTimer_Interval", "0");
    setKey(slaveAtText, "ClientStatusTimer_Interval", "abc");
    slaveAtZero.start();
    slaveAtText.start();
    for (const ShowInstance* slave : {&slaveAtZero, &slaveAtText}) {
        ASSERT_TRUE(slave->waitFor(QStringLiteral("error"), 0, 30)) << logOf(*slave).toStdString();
    }
    const double masterUp = monotonicNow();
    // A Master that starts late.
    const RawPeer master = RawPeer::listenOn(true, settings.port);
    for (const ShowInstance* slave : {&slaveAtZero, &slaveAtText}) {
        // The design's retry time, and room for a loaded machine.
        EXPECT_TRUE(slave->waitFor(QStringLiteral("connected to"), masterUp, 2.0 + 10))
            << logOf(*slave).toStdString();
    }
}

// Stopped 3 to 8 seconds after each start, the window manager still framing the window or long
// done with it, the window comes up where its frame was saved and, with nothing changed, the
// settings file comes back byte for byte.
TEST(SettingsInTheProgram, RestartsKeepTheFramesPlaceAndTheFileExact) {
    ShowSettings settings;
    settings.port = freePort();
    ShowInstance instance(QStringLiteral("Master"), settings);
    constexpr std::array<double, 8> kSecondsBeforeStop{3, 5, 8, 4, 6, 7, 3.5, 5.5};

    std::optional<QPoint> savedPlace;
    QByteArray savedFile;
    for (std::size_t round = 0; round < kSecondsBeforeStop.size(); ++round) {
        SCOPED_TRACE(testing::Message() << "restart " << round);
        instance.start();
        unsigned long window = 0;
        ASSERT_TRUE(waitUntil(
            [&] { return (window = desktop::findWindow(instance.pid(), "frameLock PRO")) != 0; },
            30))
            << logOf(instance).toStdString();
        pause(kSecondsBeforeStop[round]);
        const std::optional<QPoint> place = serverFramePosition(window);
        ASSERT_EQ(instance.stop(), 0) << logOf(instance).toStdString();

        const QByteArray file = fileBytes(settingsPath(instance));
        const ProfileDocument saved = ProfileDocument::parse(file);
        EXPECT_EQ(saved.readString("System", "Visible", {}), "1");
        ASSERT_TRUE(place);
        if (savedPlace) {
            EXPECT_EQ(*place, *savedPlace) << "the window did not come up where it was saved";
            EXPECT_EQ(file, savedFile) << "the settings changed with nothing changed";
        }
        const QList<QByteArray> normPos = saved.readString("System", "NormPos", {}).split(',');
        ASSERT_EQ(normPos.size(), 4);
        EXPECT_EQ(QPoint(normPos[0].toInt(), normPos[1].toInt()), *place)
            << "the place saved is not where the frame was";
        savedPlace = place;
        savedFile = file;
    }
}

}  // namespace

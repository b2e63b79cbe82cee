// The Master's word on who it is, across real processes: a Slave whose Master's port is answered
// by another program says so, and two shows on one machine do not take each other's Slaves.
#include "e2e/show_instance.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

const QStringList SyncPoints{QStringLiteral("0"), QStringLiteral("30"), QStringLiteral("60")};

ShowSettings showOf(bool master, const QString& clip, const QString& showName, quint16 port) {
    ShowSettings s;
    s.master = master;
    s.clip = clip;
    s.syncPoints = SyncPoints;
    s.autoStart = master;
    s.showName = showName;
    s.port = port;
    return s;
}

TEST(MasterIdentity, ASlaveSaysWhenNoFrameLockMasterAnswersOnItsPort) {
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("show.avi"));
    makeClip(clip, 80);
    const quint16 port = freePort();
    // Takes the connection and whatever the Slave reports, and says nothing.
    QProcess listener;
    listener.start(QStringLiteral("socat"),
                   {QStringLiteral("-u"),
                    QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork").arg(port),
                    QStringLiteral("OPEN:/dev/null")});
    ASSERT_TRUE(listener.waitForStarted()) << "socat is needed";
    ShowInstance slave(QStringLiteral("Slave"), showOf(false, clip, QString(), port));
    slave.start();
    const auto connected = slave.waitFor(QStringLiteral("connected to"), 0, 30);
    ASSERT_TRUE(connected) << logOf(slave).toStdString();
    const auto silent = slave.waitFor(
        QStringLiteral("connected, but no frameLock Master answers on 127.0.0.1:%1").arg(port),
        connected->monotonic, 30);
    EXPECT_TRUE(silent) << logOf(slave).toStdString();
    EXPECT_FALSE(slave.find(QStringLiteral("the Master on")));
    listener.kill();
    listener.waitForFinished();
}

// Two Masters on one machine, shows "Hall A" and "Hall B". A Slave of Hall A set to Hall B's port
// refuses that Master, says why, and runs none of its commands while it plays on; Hall B's own
// Slave follows it.
TEST(MasterIdentity, TwoShowsOnOneMachineDoNotTakeEachOthersSlaves) {
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("show.avi"));
    makeClip(clip, 80);
    const quint16 portA = freePort();
    const quint16 portB = freePort();
    ShowInstance masterA(QStringLiteral("Master A"),
                         showOf(true, clip, QStringLiteral("Hall A"), portA));
    ShowInstance masterB(QStringLiteral("Master B"),
                         showOf(true, clip, QStringLiteral("Hall B"), portB));
    ShowInstance strayA(QStringLiteral("Slave of A at B"),
                        showOf(false, clip, QStringLiteral("Hall A"), portB));
    ShowInstance slaveB(QStringLiteral("Slave of B"),
                        showOf(false, clip, QStringLiteral("hall b"), portB));
    masterA.start();
    masterB.start();
    ASSERT_TRUE(masterA.waitFor(QStringLiteral("listening on port"), 0, 30))
        << logOf(masterA).toStdString();
    ASSERT_TRUE(masterB.waitFor(QStringLiteral("listening on port"), 0, 30))
        << logOf(masterB).toStdString();
    strayA.start();
    slaveB.start();

    const QString refusal =
        QStringLiteral(
            "refused the Master on 127.0.0.1:%1: it plays the show \"Hall B\", this "
            "Slave belongs to \"Hall A\"")
            .arg(portB);
    const auto refused = strayA.waitFor(refusal, 0, 30);
    ASSERT_TRUE(refused) << logOf(strayA).toStdString();
    ASSERT_TRUE(slaveB.waitFor(QStringLiteral("the Master on 127.0.0.1:%1 is").arg(portB), 0, 30))
        << logOf(slaveB).toStdString();
    // Hall B plays on through two cues and its Slave with it, while the stray Slave keeps
    // trying and refusing.
    const auto firstCue = masterB.waitFor(QStringLiteral("sent DoNC"), refused->monotonic, 60);
    ASSERT_TRUE(firstCue) << logOf(masterB).toStdString();
    ASSERT_TRUE(masterB.waitFor(QStringLiteral("sent DoNC"), firstCue->monotonic, 60))
        << logOf(masterB).toStdString();
    EXPECT_TRUE(slaveB.find(QStringLiteral("received DoNC"), refused->monotonic))
        << logOf(slaveB).toStdString();
    EXPECT_TRUE(strayA.find(QStringLiteral("connected to"), refused->monotonic))
        << "the stray Slave did not try again\n"
        << logOf(strayA).toStdString();
    EXPECT_FALSE(strayA.find(QStringLiteral("received"))) << logOf(strayA).toStdString();
    EXPECT_FALSE(strayA.find(QStringLiteral("started frame"))) << logOf(strayA).toStdString();
    EXPECT_TRUE(masterA.running());
}

}  // namespace

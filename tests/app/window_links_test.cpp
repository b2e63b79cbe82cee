#include "media/fake_media_service.h"
#include "net/loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "serial/pty_pair.h"
#include "storage/kt_language.h"
#include "storage/profile_file.h"
#include "widgets/gui/splash_window.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace {

QStringList slaveOf(quint16 port) {
    return {QStringLiteral("rbMaster_Checked=False"),
            QStringLiteral("rbSlave_Checked=True"),
            QStringLiteral("Client_Port=%1").arg(port),
            QStringLiteral("ComportsNr_ktBoolean=False"),
            QStringLiteral("ClientStatusTimer_Interval=100"),
            QStringLiteral("eFilename_Text=clip.avi")};
}

QStringList masterOn(quint16 port) {
    return {QStringLiteral("Server_Port=%1").arg(port),
            QStringLiteral("ComportsNr_ktBoolean=False"),
            QStringLiteral("ClientStatusTimer_Interval=100"),
            QStringLiteral("eFilename_Text=clip.avi")};
}

// Listens on the program's own port 8234: ctest keeps this executable apart from the others that
// do (a resource lock).
TEST(WindowLinks, AFirstStartIsAnEnglishLanMasterListeningOnItsPort) {
    WindowHarness h;
    bool splashCameUp = false;
    QTimer::singleShot(1500, [&] {
        splashCameUp = h.window().splashShowing();
        if (h.window().splash()) {
            h.window().splash()->close();
        }
    });
    h.show();
    EXPECT_TRUE(h.ui().rbMaster->isChecked());
    EXPECT_TRUE(h.ui().rbLan->isChecked());
    EXPECT_TRUE(h.ui().sbUSA->isChecked());
    EXPECT_TRUE(h.ui().cbRepeat->isChecked());
    EXPECT_TRUE(h.window().Server->Listen());
    EXPECT_EQ(h.window().Server->Port(), 8234);
    EXPECT_EQ(h.ui().eServerStatus->text(), QStringLiteral("Server ready, waiting for Slaves"));
    EXPECT_NE(h.ui().lMasterIP->text(), QStringLiteral("0.0.0.0"));
    EXPECT_TRUE(h.ui().gbLanMaster->isVisible());
    EXPECT_FALSE(h.ui().gbSlave->isVisible());
    ASSERT_TRUE(waitFor([&] { return splashCameUp; }, 5000));

    h.ui().sbGerman->click();
    EXPECT_EQ(h.ui().eServerStatus->text(), QStringLiteral("Server bereit, wartet auf Slaves"));
}

TEST(WindowLinks, LinkFailuresNameThePortOrAddressAndTheReason) {
    RawPeer other = RawPeer::listenOn();
    const quint16 taken = other.localPort();
    WindowHarness master(systemSection(masterOn(taken)));
    master.show();
    EXPECT_FALSE(master.window().Server->Listen());
    EXPECT_EQ(
        master.ui().eServerStatus->text(),
        QStringLiteral("Address already in use: port %1 is in use by another program").arg(taken));

    const quint16 silent = freePort();
    WindowHarness slave(systemSection(slaveOf(silent)));
    slave.show();
    // No retry may replace the text before it is read.
    slave.window().ClientStatusTimer->setInterval(60000);
    ASSERT_TRUE(waitFor([&] { return !slave.dialogs.beeps.empty(); }));
    EXPECT_EQ(slave.ui().eClientStatus->text(),
              QStringLiteral("Connection refused: nothing listens on 127.0.0.1 port %1 (is the "
                             "Master running?)")
                  .arg(silent));
}

TEST(WindowLinks, ASlaveRetriesUntilItsMasterListensAndEnterReconnectsAtOnce) {
    const quint16 port = freePort();
    WindowHarness slave(systemSection(slaveOf(port)));
    slave.show();
    EXPECT_FALSE(slave.ui().gbNavigate->isVisible());
    EXPECT_FALSE(slave.ui().lbCut->isEnabled());
    EXPECT_EQ(slave.ui().gbLanSlave->y(), 336);
    EXPECT_LT(slave.window().height(), 500);
    ASSERT_TRUE(waitFor([&] { return slave.dialogs.beeps.size() >= 3; }));
    EXPECT_FALSE(slave.ui().eClientStatus->text().isEmpty());

    WindowHarness master(systemSection(masterOn(port)));
    int accepted = 0;
    master.window().Server->OnAccept = [&](QObject*, TSimpleTCPClient*, bool& accept) {
        accept = true;
        ++accepted;
    };
    master.show();
    ASSERT_TRUE(waitFor([&] { return master.ui().lbConnected->count() == 1; }));
    EXPECT_EQ(accepted, 1);

    slave.window().ClientStatusTimer->setInterval(60000);
    QTest::keyClick(slave.ui().eSlaveIP, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return accepted == 2 && master.ui().lbConnected->count() == 1; }));
}

TEST(WindowLinks, TwoSlavesFollowAndAResetOnOneLeavesTheOtherConnected) {
    const quint16 port = freePort();
    WindowHarness master(systemSection(masterOn(port)));
    master.show();
    WindowHarness one(systemSection(slaveOf(port)));
    WindowHarness two(systemSection(slaveOf(port)));
    one.show();
    two.show();
    ASSERT_TRUE(waitFor([&] { return master.ui().lbConnected->count() == 2; }));

    master.window().SendCommand("Rep0");
    ASSERT_TRUE(waitFor(
        [&] { return !one.ui().cbRepeat->isChecked() && !two.ui().cbRepeat->isChecked(); }));

    // Slave one loses its link abruptly: the Master sees a reset on that connection only.
    one.window().ClientStatusTimer->setInterval(60000);
    one.window().Client->setConnected(false);
    ASSERT_TRUE(waitFor([&] { return master.ui().lbConnected->count() == 1; }));
    EXPECT_TRUE(master.window().Server->Listen());
    EXPECT_FALSE(master.window().ClientStatusTimer->isActive());
    master.window().SendCommand("Rep1");
    ASSERT_TRUE(waitFor([&] { return two.ui().cbRepeat->isChecked(); }));
    settle(300);
    EXPECT_EQ(master.ui().lbConnected->count(), 1);
}

// The Slave's status names the Master once it has said who it is; a Master of another show is
// refused in the operator's language, and the Slave follows none of its commands.
TEST(WindowLinks, ASlaveNamesItsMasterAndRefusesOneOfAnotherShow) {
    const quint16 port = freePort();
    WindowHarness master(systemSection(masterOn(port) << QStringLiteral("ShowName=Hall B")));
    master.show();
    WindowHarness own(systemSection(slaveOf(port) << QStringLiteral("ShowName=hall b ")));
    WindowHarness stray(systemSection(slaveOf(port) << QStringLiteral("ShowName=Hall A")
                                                    << QStringLiteral("sbGerman_Down=True")
                                                    << QStringLiteral("sbUSA_Down=False")));
    own.show();
    // Asked for, not yet there: nothing is said to be connected before the Master has answered.
    EXPECT_EQ(own.ui().eClientStatus->text(),
              QStringLiteral("Connecting to the Master on 127.0.0.1:%1").arg(port));
    stray.show();
    stray.window().ClientStatusTimer->setInterval(60000);
    EXPECT_TRUE(waitFor([&] {
        return own.ui().eClientStatus->text() == QStringLiteral("Connected with Master Hall B");
    })) << own.ui().eClientStatus->text().toStdString();
    EXPECT_TRUE(waitFor([&] {
        return stray.ui().eClientStatus->text() ==
               QStringLiteral(
                   "Master auf 127.0.0.1:%1 abgelehnt: er spielt die Show \"Hall B\", "
                   "dieser Slave gehört zu \"Hall A\"; neuer Versuch folgt")
                   .arg(port);
    })) << stray.ui().eClientStatus->text().toStdString();
    EXPECT_FALSE(stray.window().Client->Connected());
    EXPECT_TRUE(stray.window().ClientStatusTimer->isActive());

    master.window().SendCommand("Rep0");
    ASSERT_TRUE(waitFor([&] { return !own.ui().cbRepeat->isChecked(); }));
    EXPECT_TRUE(stray.ui().cbRepeat->isChecked());
}

TEST(WindowLinks, AMasterObeysOnlyItsCommandHosts) {
    const quint16 port = freePort();
    QStringList settings = masterOn(port);
    settings << QStringLiteral("Server_CommandHosts=127.0.0.2");
    WindowHarness master(systemSection(settings));
    master.show();
    master.ui().lbCut->setItems({QStringLiteral("50"), QStringLiteral("200")});
    RawPeer stranger = RawPeer::connectTo(port);
    RawPeer remote = RawPeer::connectFrom("127.0.0.2", port);
    ASSERT_TRUE(waitFor([&] { return master.ui().lbConnected->count() == 2; }));
    const qsizetype start = master.mediaLog->size();

    stranger.send("_Stop*_ClLi*_Rep0*_Ful1*");
    settle(300);
    EXPECT_FALSE(master.mediaLog->mid(start).contains(QStringLiteral("stop")));
    EXPECT_EQ(master.ui().lbCut->Items(), QStringList({"50", "200"}));
    EXPECT_TRUE(master.ui().cbRepeat->isChecked());
    EXPECT_FALSE(master.ui().cbFullscreen->isChecked());

    remote.send("_Stop*_ClLi*");
    ASSERT_TRUE(waitFor([&] { return master.ui().lbCut->Items().isEmpty(); }));
    EXPECT_TRUE(master.mediaLog->mid(start).contains(QStringLiteral("stop")));
}

TEST(WindowLinks, ASlaveWhoseMasterEndsInAnOrderlyWayConnectsAgain) {
    RawPeer listener = RawPeer::listenOn(true);
    const quint16 port = listener.localPort();
    WindowHarness slave(systemSection(slaveOf(port)));
    slave.show();
    RawPeer link = listener.accept();
    link.close();
    listener = RawPeer();
    WindowHarness master(systemSection(masterOn(port)));
    master.show();
    ASSERT_TRUE(waitFor([&] { return master.ui().lbConnected->count() == 1; }));
}

TEST(WindowLinks, TwoWindowsTalkOverANullModemCable) {
    NullModem cable;
    ASSERT_TRUE(cable.ok());
    auto comOn = [](bool master, const QString& device) {
        return systemSection({QStringLiteral("rbCom_Checked=True"),
                              QStringLiteral("rbLan_Checked=False"),
                              QStringLiteral("rbMaster_Checked=%1").arg(master ? "True" : "False"),
                              QStringLiteral("rbSlave_Checked=%1").arg(master ? "False" : "True"),
                              QStringLiteral("ComportsNr_ktInteger1=1"),
                              QStringLiteral("ComportsNr_ktBoolean=False"),
                              QStringLiteral("[Ports]"), QStringLiteral("COM1=") + device});
    };
    WindowHarness master(comOn(true, cable.pathA()));
    WindowHarness slave(comOn(false, cable.pathB()));
    master.show();
    slave.show();
    ASSERT_TRUE(master.window().ComPort1->Connected());
    ASSERT_TRUE(slave.window().ComPort1->Connected());
    EXPECT_TRUE(master.ui().gbCom->isVisible());
    EXPECT_TRUE(slave.ui().lCom1Slave->isVisible());
    master.window().SendCommand("Rep0");
    ASSERT_TRUE(waitFor([&] { return !slave.ui().cbRepeat->isChecked(); }));
}

TEST(WindowLinks, APortChosenTwiceIsRefusedAndAMissingOneIsReported) {
    PtyPair line;
    WindowHarness h(systemSection(
        {QStringLiteral("rbCom_Checked=True"), QStringLiteral("rbLan_Checked=False"),
         QStringLiteral("ComportsNr_ktInteger1=1"), QStringLiteral("ComportsNr_ktBoolean=False"),
         QStringLiteral("[Ports]"), QStringLiteral("COM1=") + line.slavePath(),
         QStringLiteral("COM3=/nonexistent/tty")}));
    h.show();
    ASSERT_TRUE(h.window().ComPort1->Connected());
    h.ui().cbCom2->setCurrentIndex(1);
    h.window().cbCom2Change();
    EXPECT_EQ(h.ui().cbCom2->currentIndex(), 0);
    EXPECT_FALSE(h.window().ComPort2->Connected());
    EXPECT_TRUE(h.dialogs.messages.empty());
    h.ui().cbCom2->setCurrentIndex(3);
    h.window().cbCom2Change();
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_EQ(h.dialogs.messages[0].caption, QStringLiteral("Serial port"));
    EXPECT_TRUE(h.dialogs.messages[0].text.startsWith(
        QStringLiteral("The second serial port cannot be opened.")));
    EXPECT_TRUE(h.dialogs.messages[0].text.endsWith(
        QStringLiteral("\n\n/nonexistent/tty: no such device: is the adapter plugged in, and "
                       "does the section \"Ports\" of frameLock.ini name it?")));
    // A device another program holds.
    TComPort holder;
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM1, line.slavePath());
    holder.SetDevicePaths(paths);
    h.window().ComPort1->Close();
    holder.Open();
    h.ui().cbCom1->setCurrentIndex(1);
    h.window().cbCom1Change();
    ASSERT_GE(h.dialogs.messages.size(), 2u);
    EXPECT_TRUE(h.dialogs.messages[1].text.endsWith(line.slavePath() +
                                                    QStringLiteral(": in use by another program")));
    EXPECT_FALSE(h.window().ComPort2->Connected());
}

TEST(WindowLinks, APulledSerialDeviceIsReopenedWhenItComesBack) {
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyFL"));
    const QString far = dir.filePath(QStringLiteral("far"));
    auto plug = [&](QProcess& socat) {
        socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + device,
                                              QStringLiteral("pty,raw,echo=0,link=") + far});
        return waitFor([&] { return QFile::exists(device) && QFile::exists(far); });
    };
    QProcess adapter;
    ASSERT_TRUE(plug(adapter));
    WindowHarness h(systemSection(
        {QStringLiteral("rbCom_Checked=True"), QStringLiteral("rbLan_Checked=False"),
         QStringLiteral("rbMaster_Checked=False"), QStringLiteral("rbSlave_Checked=True"),
         QStringLiteral("ComportsNr_ktInteger1=1"), QStringLiteral("ComportsNr_ktBoolean=False"),
         QStringLiteral("[Ports]"), QStringLiteral("COM1=") + device}));
    h.window().ComRetryTimer->setInterval(100);
    h.show();
    ASSERT_TRUE(h.window().ComPort1->Connected());

    adapter.terminate();
    adapter.waitForFinished();
    ASSERT_TRUE(waitFor([&] { return !h.window().ComPort1->Connected(); }));
    EXPECT_FALSE(h.ui().lComStatus->text().isEmpty());
    EXPECT_FALSE(h.dialogs.beeps.empty());
    EXPECT_TRUE(h.dialogs.messages.empty());
    // Why, in the language chosen after the loss too.
    QTest::mouseClick(h.ui().sbGerman, Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] {
        return h.ui().lComStatus->text() ==
               QStringLiteral(
                   "Serieller Port verloren, neuer Versuch: COM1 (%1: kein solches Gerät: "
                   "ist der Adapter eingesteckt, und nennt ihn der Abschnitt „Ports“ "
                   "der frameLock.ini?)")
                   .arg(device);
    })) << h.ui().lComStatus->text().toStdString();

    QProcess replugged;
    ASSERT_TRUE(plug(replugged));
    ASSERT_TRUE(waitFor([&] { return h.window().ComPort1->Connected(); }));
    EXPECT_TRUE(h.ui().lComStatus->text().isEmpty());
    replugged.terminate();
    replugged.waitForFinished();
}

TEST(WindowLinks, TheSettingsComeBackAfterARestart) {
    PtyPair line;
    QTemporaryDir dir;
    const QString programDir = dir.path() + QLatin1Char('/');
    {
        WindowHarness h(
            systemSection({QStringLiteral("ComportsNr_ktBoolean=False"),
                           QStringLiteral("Server_Port=%1").arg(freePort()),
                           QStringLiteral("[Ports]"), QStringLiteral("COM2=") + line.slavePath()}),
            programDir);
        h.show();
        h.ui().rbSlave->setChecked(true);
        h.ui().rbCom->setChecked(true);
        h.ui().cbCom2->setCurrentIndex(2);
        h.window().cbCom2Change();
        ASSERT_TRUE(h.window().ComPort2->Connected());
        h.ui().lbCut->setItems({QStringLiteral("50"), QStringLiteral("200")});
    }
    const ProfileDocument saved = readProfileFile(programDir + QStringLiteral("frameLock.ini"));
    EXPECT_EQ(saved.readString("System", "rbSlave_Checked", ""), QByteArray("True"));
    EXPECT_EQ(saved.readString("System", "ComportsNr_ktInteger2", ""), QByteArray("2"));
    EXPECT_EQ(saved.readString("System.lbCut_Items", "Item1", ""), QByteArray("200"));
    EXPECT_EQ(saved.readString("Ports", "COM2", ""), line.slavePath().toLatin1());

    WindowHarness again(QByteArray(), programDir);
    again.show();
    EXPECT_TRUE(again.ui().rbSlave->isChecked());
    EXPECT_TRUE(again.ui().rbCom->isChecked());
    EXPECT_EQ(again.ui().cbCom2->currentIndex(), 2);
    EXPECT_TRUE(again.window().ComPort2->Connected());
    EXPECT_EQ(again.ui().lbCut->Items(), QStringList({"50", "200"}));
    EXPECT_FALSE(again.ui().gbNavigate->isVisible());
}

TEST(WindowLinks, ADamagedLanguageFileEndsTheProgramBeforeMediaAndLinksOpen) {
    QTemporaryDir dir;
    const QString programDir = dir.path() + QLatin1Char('/');
    WindowHarness h(
        systemSection({QStringLiteral("sbGerman_Down=True"), QStringLiteral("sbUSA_Down=False"),
                       QStringLiteral("Server_Port=%1").arg(freePort())}),
        programDir);
    QFile german(programDir + QStringLiteral("german.lng"));
    ASSERT_TRUE(german.open(QIODevice::WriteOnly));
    german.write("[Interface]\r\nfFrameLock.Caption=frameLock\r\n");
    german.close();
    h.window().lang->Terminate = [](QObject*) {};
    h.show();
    ASSERT_EQ(h.dialogs.messages.size(), 1u);
    EXPECT_TRUE(h.dialogs.messages[0].text.contains(QStringLiteral("ist nicht in Ordnung")));
    EXPECT_FALSE(h.window().Server->Listen());
    EXPECT_FALSE(h.mediaLog->join(' ').contains(QStringLiteral("renderFile")));
}

}  // namespace

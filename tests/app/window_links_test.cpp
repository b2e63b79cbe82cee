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

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
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

    // The retries are the window's; any server will do as the Master.
    TSimpleTCPServer master;
    int accepted = 0;
    master.OnAccept = [&](QObject*, TSimpleTCPClient*, bool& accept) {
        accept = true;
        ++accepted;
    };
    master.setPort(port);
    master.setListen(true);
    ASSERT_TRUE(waitFor([&] { return master.Clients().size() == 1; }));
    EXPECT_EQ(accepted, 1);

    slave.window().ClientStatusTimer->setInterval(60000);
    QTest::keyClick(slave.ui().eSlaveIP, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return accepted == 2 && master.Clients().size() == 1; }));
}

// The Slave's status names the Master once it has said who it is; a Master of another show is
// refused in the operator's language and tried again. That none of its commands runs is the
// link's (sync_link_test).
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
}

TEST(WindowLinks, ASlaveWhoseMasterEndsInAnOrderlyWayConnectsAgain) {
    RawPeer listener = RawPeer::listenOn(true);
    const quint16 port = listener.localPort();
    WindowHarness slave(systemSection(slaveOf(port)));
    slave.show();
    RawPeer link = listener.accept();
    link.close();
    listener = RawPeer();
    TSimpleTCPServer master;
    master.setPort(port);
    master.setListen(true);
    ASSERT_TRUE(waitFor([&] { return master.Clients().size() == 1; }));
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
    // The Slave follows its Master's cable again.
    ASSERT_TRUE(h.ui().cbRepeat->isChecked());
    const int cable = ::open(far.toLocal8Bit().constData(), O_WRONLY | O_NOCTTY);
    ASSERT_GE(cable, 0);
    EXPECT_EQ(::write(cable, "_Rep0*", 6), 6);
    ::close(cable);
    EXPECT_TRUE(waitFor([&] { return !h.ui().cbRepeat->isChecked(); }));
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
                           QStringLiteral("Server_CommandHosts=127.0.0.2"),
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
    EXPECT_TRUE(again.ui().gbCom->isVisible());
    EXPECT_TRUE(again.ui().lCom1Slave->isVisible());
    EXPECT_FALSE(again.ui().lCom1Master->isVisible());
    // Whom the Master obeys is its server's to decide; the server has the hand-written key.
    EXPECT_EQ(again.window().Server->CommandHosts(), QStringLiteral("127.0.0.2"));
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

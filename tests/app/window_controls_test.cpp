#include "media/fake_media_service.h"
#include "media/graph_player.h"
#include "net/loopback.h"
#include "net/simple_tcp_server.h"
#include "storage/interface_entries.h"
#include "storage/kt_language.h"
#include "widgets/gui/about_dialog.h"
#include "widgets/gui/status_box.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

namespace {

// A Master whose start comes soon after the click.
WindowSettings quickMaster() {
    WindowSettings settings;
    settings.syncTimeMs = 10;
    return settings;
}

TEST(WindowControls, TheLockDisablesTheSettingsButNotTheShowAndOpensOnlyWithTheUnlockCharacter) {
    TappedMaster m(quickMaster());
    Ui::TfFrameLock& ui = m.h.ui();
    QTest::mouseClick(ui.cbLock, Qt::LeftButton);
    EXPECT_TRUE(ui.cbLock->isChecked());
    ASSERT_EQ(m.h.dialogs.messages.size(), 1u);
    EXPECT_TRUE(m.h.dialogs.messages[0].text.contains(QLatin1Char('#')));
    const QList<QWidget*> locked{
        ui.rbMaster,  ui.rbSlave, ui.rbLan,  ui.rbCom,   ui.cbFullscreen, ui.cbRepeat, ui.bFile,
        ui.eFilename, ui.bSet,    ui.bSetIn, ui.bDelete, ui.cbAutoStart,  ui.eSlaveIP, ui.tbSync,
        ui.cbCom1,    ui.cbCom2,  ui.bHelp,  ui.sbUSA,   ui.sbGerman,     ui.cbTest,   ui.eIn};
    for (QWidget* control : locked) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui.bPlay, ui.bStop, ui.bRewind, ui.bGo, ui.lbCut,
                                         ui.tbPosition, ui.seAktFrame, ui.bAbout, ui.cbLock}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    QTest::keyClick(&m.h.window(), Qt::Key_F1);
    EXPECT_EQ(m.tap->take(3), QStringList({"ClLi", "DoNC0", "Play"}));

    // The unlock character must be the very last one typed before the click.
    QTest::keyClicks(&m.h.window(), QStringLiteral("#x"));
    QTest::mouseClick(ui.cbLock, Qt::LeftButton);
    EXPECT_TRUE(ui.cbLock->isChecked());
    QTest::keyClicks(ui.seAktFrame, QStringLiteral("#"));
    QTest::mouseClick(ui.cbLock, Qt::LeftButton);
    EXPECT_FALSE(ui.cbLock->isChecked());
    for (QWidget* control : locked) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    QTest::mouseClick(ui.cbLock, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(ui.cbLock->isChecked());
    EXPECT_EQ(m.h.dialogs.messages.size(), 1u);
}

TEST(WindowControls, F4SwitchesFullScreenAndADoubleClickOnTheVideoStopsEveryInstance) {
    TappedMaster m(quickMaster());
    QTest::keyClick(&m.h.window(), Qt::Key_F4, Qt::ShiftModifier);
    QTest::keyClick(&m.h.window(), Qt::Key_F4, Qt::ControlModifier);
    settle(50);
    EXPECT_EQ(m.tap->take(), QStringList());
    QTest::keyClick(&m.h.window(), Qt::Key_F4);
    EXPECT_EQ(m.tap->take(1), QStringList({"FSc1"}));
    EXPECT_TRUE(m.h.window().player().FullScreenActive());
    EXPECT_FALSE(m.h.window().isVisible());
    // The video window hands its double clicks to the hidden main window.
    QTest::mouseDClick(&m.h.window(), Qt::LeftButton);
    QTest::mouseRelease(&m.h.window(), Qt::LeftButton);
    EXPECT_EQ(m.tap->take(2), QStringList({"Stop", "FSc0"}));
    EXPECT_TRUE(m.h.window().isVisible());

    m.h.window().player().CloseMedia();
    QTest::keyClick(&m.h.window(), Qt::Key_F4);
    EXPECT_EQ(m.tap->take(1), QStringList({"FSc0"}));
    EXPECT_TRUE(m.h.window().isVisible());
}

// The operator's operations by name do what the controls do, are refused where the lock or the
// role disables the control, and leave the controls (and so the stored settings) saying what
// the show does; a setting received by a Master reaches its Slaves once.
TEST(WindowControls, TheOperatorTableRunsTheShowAndTheControlsFollowIt) {
    TappedMaster m(quickMaster());
    Ui::TfFrameLock& ui = m.h.ui();
    OperatorTable& operators = m.h.window().operators();
    EXPECT_EQ(operators.names(), QStringList({"start", "stop", "rewind", "cue", "goto", "step",
                                              "setIn", "addSyncPoint", "deleteSyncPoint",
                                              "fullscreen", "loop", "language", "lock"}));
    ui.seAktFrame->setText(QStringLiteral("100"));
    ASSERT_TRUE(operators.run(QStringLiteral("addSyncPoint")).done());
    ui.seAktFrame->setText(QStringLiteral("300"));
    ASSERT_TRUE(operators.run(QStringLiteral("addSyncPoint")).done());
    EXPECT_EQ(ui.lbCut->Items(), QStringList({"100", "300"}));
    EXPECT_EQ(ui.lbCut->currentRow(), 1);
    ASSERT_TRUE(operators.run(QStringLiteral("cue"), 1).done());
    EXPECT_EQ(ui.lbCut->currentRow(), 0);
    EXPECT_EQ(m.tap->take(1), QStringList({"DoNC0"}));
    ASSERT_TRUE(operators.run(QStringLiteral("loop"), 0).done());
    EXPECT_FALSE(ui.cbRepeat->isChecked());
    EXPECT_EQ(m.tap->take(1), QStringList({"Rep0"}));

    // Received, it ticks the box, and the Slaves hear it once.
    m.h.window().DispatchCommand("Rep1");
    EXPECT_TRUE(ui.cbRepeat->isChecked());
    m.h.window().DispatchCommand("Stop");
    EXPECT_EQ(m.tap->take(2), QStringList({"Rep1", "Stop"}));

    ASSERT_TRUE(operators.run(QStringLiteral("lock"), 1).done());
    EXPECT_FALSE(ui.bSet->isEnabled());
    for (const char* name : {"setIn", "addSyncPoint", "deleteSyncPoint", "loop", "language"}) {
        EXPECT_EQ(operators.run(QString::fromLatin1(name), 1).outcome,
                  OperatorTable::Outcome::NotAllowed)
            << name;
    }
    EXPECT_EQ(ui.lbCut->Items(), QStringList({"100", "300"}));
    EXPECT_TRUE(operators.run(QStringLiteral("rewind")).done());
    EXPECT_EQ(m.tap->take(1), QStringList({"Rewi"}));
    ASSERT_TRUE(operators.run(QStringLiteral("lock"), 0).done());
    EXPECT_TRUE(ui.bSet->isEnabled());
    ui.lbCut->setCurrentRow(0);
    ASSERT_TRUE(operators.run(QStringLiteral("deleteSyncPoint")).done());
    EXPECT_EQ(ui.lbCut->Items(), QStringList({"300"}));

    // A Slave neither cues nor edits the Master's list.
    ui.rbSlave->setChecked(true);
    EXPECT_FALSE(operators.allowed(QStringLiteral("cue")));
    EXPECT_FALSE(operators.allowed(QStringLiteral("deleteSyncPoint")));
    ui.rbMaster->setChecked(true);
    // The sync lamp says a start is armed; a Start ends test mode, and its box says so.
    ui.cbTest->setChecked(true);
    EXPECT_TRUE(m.h.window().TestTimer->isActive());
    ui.syncLed->setValue(false);
    ASSERT_TRUE(operators.run(QStringLiteral("start")).done());
    EXPECT_TRUE(ui.syncLed->Value());
    EXPECT_FALSE(ui.cbTest->isChecked());
    EXPECT_FALSE(m.h.window().TestTimer->isActive());
    m.h.close();
    EXPECT_TRUE(m.h.settingsFile().contains("Item0=300"));
    EXPECT_TRUE(m.h.settingsFile().contains("cbRepeat_Checked=True"));
}

TEST(WindowControls, CapitalQAndAltF4CloseTheWindowSmallQDoesNot) {
    TappedMaster m(quickMaster());
    QTest::keyClicks(m.h.ui().eSlaveIP, QStringLiteral("q"));
    EXPECT_TRUE(m.h.window().isVisible());
    QTest::keyClicks(m.h.ui().seAktFrame, QStringLiteral("Q"));
    EXPECT_FALSE(m.h.window().isVisible());
    EXPECT_FALSE(m.h.window().Server->Listen());

    TappedMaster other(quickMaster());
    QTest::keyClick(&other.h.window(), Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(other.h.window().isVisible());
    EXPECT_EQ(other.tap->take(), QStringList());
}

TEST(WindowControls, LanguageLoopAndFullScreenSettingsReachTheSlaves) {
    TappedMaster m(quickMaster());
    Ui::TfFrameLock& ui = m.h.ui();
    QTest::mouseClick(ui.sbGerman, Qt::LeftButton);
    EXPECT_EQ(m.tap->take(1), QStringList({"LGer"}));
    EXPECT_EQ(ui.gbSync->title(), QStringLiteral("Sync-Punkte:"));
    EXPECT_EQ(m.h.window().lang->LanguageIndex(), 1);
    QTest::mouseClick(ui.sbUSA, Qt::LeftButton);
    QTest::mouseClick(ui.sbUSA, Qt::LeftButton);
    ui.cbRepeat->click();
    ui.cbFullscreen->click();
    EXPECT_EQ(m.tap->take(4), QStringList({"LUSA", "LUSA", "Rep0", "Ful1"}));
    EXPECT_EQ(ui.gbSync->title(), QStringLiteral("Sync. Points:"));
}

TEST(WindowControls, HelpOpensThePageOfTheLanguageOrAsksWhereItIs) {
    TappedMaster m(quickMaster());
    m.h.ui().bHelp->click();
    const QString page = m.h.programDir() + QStringLiteral("help.htm");
    EXPECT_EQ(m.h.dialogs.opened, QStringList(page));
    // No browser shows it (one refusing to run as root): the status box says what to do.
    ASSERT_EQ(m.h.dialogs.openFailures.size(), 1u);
    m.h.dialogs.openFailures[0]();
    EXPECT_EQ(m.h.ui().eServerStatus->text(),
              QStringLiteral("The help did not open: no web browser shows it for this user (a "
                             "browser refuses to run as root). Open it in a browser by hand: ") +
                  page);
    QFile::remove(m.h.programDir() + QStringLiteral("dhelp.htm"));
    QTest::mouseClick(m.h.ui().sbGerman, Qt::LeftButton);
    m.h.ui().bHelp->click();
    ASSERT_EQ(m.h.dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(m.h.dialogs.fileRequests[0].title,
              m.h.window().lang->TextByKey(QStringLiteral("TxT_WhereisFile")) +
                  QStringLiteral(" dhelp.htm"));
    EXPECT_EQ(m.h.dialogs.opened.size(), 1);

    QString shown;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    m.h.ui().bAbout->click();
    EXPECT_EQ(shown, QStringLiteral("TfktWAbout"));
}

}  // namespace

namespace {

TEST(WindowLanguages, EveryShippedFileSetsEveryTextOfTheRealWindowAndExplainsTheUnlock) {
    WindowSettings settings;
    settings.port = freePort();
    settings.file.clear();
    WindowHarness h(settings.text());
    h.show();
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(h.window().lang->ApplyLanguage(&h.window(), index), 78) << index;
        for (const std::string_view key : kMessageKeys) {
            const QString name =
                QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size()));
            EXPECT_NE(h.window().lang->TextByKey(name), name) << index << ' ' << key;
        }
        EXPECT_TRUE(h.window()
                        .lang->TextByKey(QStringLiteral("Msg_Unlock"))
                        .contains(QChar(kUnlockCharacter)));
    }
    for (const char* page : {"help.htm", "dhelp.htm"}) {
        QFile file(h.programDir() + QLatin1String(page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().contains("<b>#</b>")) << page;
    }
}

}  // namespace

namespace {

// The suffix names the instance in both of its windows, and a language switch, which sets the
// bare title from the language file, neither loses it nor adds it twice.
TEST(WindowTitle, TheSettingsSuffixNamesBothWindowsInEveryLanguage) {
    const QString suffix = QStringLiteral(" \u2013 Slave 2");
    WindowSettings named;
    named.port = freePort();
    named.more = {QStringLiteral("[Window]"), QStringLiteral("TitleSuffix= Slave 2 ")};
    WindowHarness h(named.text());
    h.show();
    EXPECT_EQ(h.window().windowTitle(), QStringLiteral("frameLock PRO") + suffix);
    EXPECT_TRUE(h.mediaLog->contains(QStringLiteral("putCaption frameLock PRO Video") + suffix))
        << h.mediaLog->join(u'\n').toStdString();
    for (QAbstractButton* language : {h.ui().sbGerman, h.ui().sbUSA, h.ui().sbGerman}) {
        QTest::mouseClick(language, Qt::LeftButton);
        EXPECT_EQ(h.window().windowTitle(), QStringLiteral("frameLock PRO") + suffix);
    }

    WindowSettings unnamed;
    unnamed.port = freePort();
    unnamed.file.clear();
    WindowHarness plain(unnamed.text());
    plain.show();
    EXPECT_EQ(plain.window().windowTitle(), QStringLiteral("frameLock PRO"));
}

}  // namespace

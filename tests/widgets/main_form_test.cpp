#include <gtest/gtest.h>

#include "storage/interface_entries.h"
#include "storage/kt_wlanguage.h"
#include "support/qt_printers.h"
#include "tools/screenshots/form_check.h"
#include "ui_fFrameLock.h"

#include <QCoreApplication>
#include <QTest>
#include <limits>

namespace {

struct Form {
    Form() { ui.setupUi(&window); }
    QWidget window;
    Ui::TfFrameLock ui;
};

QString languageFile(const char* name) {
    return QCoreApplication::applicationDirPath() + u'/' + QString::fromLatin1(name);
}

}  // namespace

// Both language files set every text on the bare design, and every entry the language
// component counts finds its control and property.
TEST(MainFormDesign, EveryLanguageEntryFindsItsControl) {
    Form form;
    EXPECT_EQ(form.window.objectName(), QStringLiteral("fFrameLock"));
    EXPECT_EQ(unresolvedEntries(form.window), QStringList());
    for (const char* file : {"english.lng", "german.lng"}) {
        TktWLanguage lang(&form.window);
        EXPECT_EQ(lang.ApplyLanguageFile(&form.window, languageFile(file)),
                  int(kInterfaceEntries.size()))
            << file;
    }
    EXPECT_EQ(form.ui.cbCom1->itemText(0), QStringLiteral("Kein Gerät"));
    EXPECT_EQ(form.ui.lSend->text(), QStringLiteral("Senden:"));
}

TEST(MainFormDesign, StartsAsAMasterOnTheLanWithTheDesignValues) {
    Form form;
    Ui::TfFrameLock& ui = form.ui;
    EXPECT_TRUE(ui.rbMaster->isChecked());
    EXPECT_TRUE(ui.rbLan->isChecked());
    // Nothing shows the role groups for the design's own role, so the Slave's starts hidden.
    EXPECT_FALSE(ui.gbMaster->isHidden());
    EXPECT_TRUE(ui.gbSlave->isHidden());
    EXPECT_TRUE(ui.sbUSA->isChecked());
    EXPECT_FALSE(ui.sbGerman->isChecked());
    EXPECT_TRUE(ui.cbRepeat->isChecked());
    EXPECT_FALSE(ui.cbFullscreen->isChecked());
    EXPECT_FALSE(ui.cbLock->isChecked());
    EXPECT_EQ(ui.eSlaveIP->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(ui.lMasterIP->text(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(ui.tbSync->minimum(), 1);
    EXPECT_EQ(ui.tbSync->maximum(), 2000);
    EXPECT_EQ(ui.tbSync->value(), 400);
    EXPECT_EQ(ui.tbSync->pageStep(), 10);
    EXPECT_EQ(ui.tbPosition->maximum(), 1000);
    for (TktSpinEdit* box : {ui.eIn, ui.seAktFrame}) {
        EXPECT_EQ(box->MinValue(), 0);
        EXPECT_EQ(box->MaxValue(), std::numeric_limits<std::int32_t>::max());
        EXPECT_EQ(box->Value(), 0);
    }
    EXPECT_TRUE(ui.eFilename->isReadOnly());
    EXPECT_FALSE(ui.eSlaveIP->isReadOnly());
    const QStringList ports{"No Device", "COM1", "COM2", "COM3", "COM4"};
    EXPECT_EQ(ui.cbCom1->Items(), ports);
    EXPECT_EQ(ui.cbCom2->Items(), ports);
    EXPECT_EQ(ui.cbCom1->currentIndex(), 0);
    for (TLedIndicator* led : {ui.masterled, ui.syncLed, ui.slaveled, ui.thruled}) {
        EXPECT_EQ(led->size(), QSize(16, 16)) << led->objectName().toStdString();
    }
}

// Role, link and language are each one choice: a click on one button of a pair releases the
// other and leaves the other pairs alone.
TEST(MainFormDesign, RoleLinkAndLanguageButtonsFormThreeIndependentPairs) {
    Form form;
    Ui::TfFrameLock& ui = form.ui;
    form.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form.window));
    QTest::mouseClick(ui.rbSlave, Qt::LeftButton);
    QTest::mouseClick(ui.rbCom, Qt::LeftButton);
    QTest::mouseClick(ui.sbGerman, Qt::LeftButton);
    EXPECT_FALSE(ui.rbMaster->isChecked());
    EXPECT_TRUE(ui.rbSlave->isChecked());
    EXPECT_FALSE(ui.rbLan->isChecked());
    EXPECT_TRUE(ui.rbCom->isChecked());
    EXPECT_FALSE(ui.sbUSA->isChecked());
    EXPECT_TRUE(ui.sbGerman->isChecked());
    QTest::mouseClick(ui.sbGerman, Qt::LeftButton);
    EXPECT_TRUE(ui.sbGerman->isChecked()) << "a language button that is down stays down";
}

// Shared places: the role groups one, the link groups another (at 428, below the navigation
// that a Slave's link group replaces at 336); every group in one column at the left edge.
TEST(MainFormDesign, GroupsShareTheirPlacesInOneColumn) {
    Form form;
    Ui::TfFrameLock& ui = form.ui;
    EXPECT_EQ(ui.gbMaster->geometry(), ui.gbSlave->geometry());
    for (QGroupBox* link : {ui.gbLanMaster, ui.gbLanSlave, ui.gbCom}) {
        EXPECT_EQ(link->y(), 428) << link->objectName().toStdString();
    }
    EXPECT_EQ(ui.gbNavigate->y(), 336);
    EXPECT_LE(ui.gbNavigate->geometry().bottom(), 427);
    EXPECT_LE(ui.gbSync->geometry().bottom(), 335);
    for (QGroupBox* group : form.window.findChildren<QGroupBox*>()) {
        EXPECT_EQ(group->x(), 0) << group->objectName().toStdString();
        EXPECT_EQ(group->width(), form.window.width()) << group->objectName().toStdString();
    }
    EXPECT_EQ(ui.lCom1Master->geometry(), ui.lCom1Slave->geometry());
    EXPECT_EQ(ui.lCom2Master->geometry(), ui.lCom2Slave->geometry());
}

// In every role and link and in both languages, each text fits its control, the status boxes
// show their texts whole, and no two visible controls cover each other.
TEST(MainFormDesign, EveryArrangementShowsWholeTextsWithoutOverlaps) {
    for (const int index : {0, 1}) {
        const char* file = index == 0 ? "english.lng" : "german.lng";
        for (const FormArrangement arrangement :
             {FormArrangement{true, true}, FormArrangement{false, true},
              FormArrangement{true, false}, FormArrangement{false, false}}) {
            SCOPED_TRACE(QStringLiteral("%1 master %2 lan %3")
                             .arg(QString::fromLatin1(file))
                             .arg(arrangement.master)
                             .arg(arrangement.lan)
                             .toStdString());
            Form form;
            TktWLanguage lang(&form.window);
            lang.setProgramDir(QCoreApplication::applicationDirPath() + u'/');
            lang.ApplyLanguage(&form.window, index);
            form.ui.eServerStatus->setText(lang.TextByKey(QStringLiteral("TxT_ServerOK")));
            form.ui.eClientStatus->setText(
                lang.TextByKey(QStringLiteral("TxT_ClientStatusConnect")));
            arrangeForm(form.ui, form.window, arrangement);
            form.window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&form.window));
            EXPECT_EQ(cutTexts(form.window), QStringList());
            EXPECT_EQ(overlappingControls(form.window), QStringList());
        }
    }
}

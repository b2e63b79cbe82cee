#include "storage/interface_entries.h"
#include "storage/kt_language.h"
#include "storage/profile_file.h"
#include "storage/stored_wording.h"
#include "support/recording_dialogs.h"
#include "test_form.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace {

QString entryText(std::string_view entry) {
    return QString::fromLatin1(entry.data(), qsizetype(entry.size()));
}

// The "Interface" lines of a complete English file, without the section header.
QByteArray completeInterface() {
    QByteArray lines;
    for (const std::string_view entry : kInterfaceEntries) {
        const bool items = entry.ends_with("Items.Text");
        lines += QByteArray(entry.data(), qsizetype(entry.size())) + '=' +
                 (items ? "No Device~~COM1~~COM2" : "text of " + QByteArray(entry.data())) + "\r\n";
    }
    return lines;
}

class LanguageTest : public testing::Test {
protected:
    void SetUp() override {
        QCoreApplication::setApplicationName(QStringLiteral("frameLock PRO"));
        lang.setProgramDir(dir.path());
        lang.setDialogs(&dialogs);
        lang.setKtExpectedProbs(78);
        lang.Terminate = [this](QObject* f) { terminated.push_back(f); };
    }

    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString pathOf(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    RecordingDialogs dialogs;
    TktLanguage lang;
    TestFrameLock form;
    std::vector<QObject*> terminated;
};

TEST_F(LanguageTest, ShippedFilesEachSetExactlyTheSharedEntries) {
    TktLanguage shipped;
    shipped.setDialogs(&dialogs);
    shipped.setKtExpectedProbs(78);
    shipped.Terminate = [this](QObject* f) { terminated.push_back(f); };
    for (int index = 0; index < 3; ++index) {
        EXPECT_TRUE(shipped.ApplyLanguageChecked(&form, index)) << index;
        EXPECT_TRUE(dialogs.messages.empty()) << index;
        EXPECT_TRUE(terminated.empty()) << index;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("frameLock PRO"));
        for (const std::string_view key : kMessageKeys) {
            const QString text = shipped.TextByKey(entryText(key));
            EXPECT_FALSE(text.isEmpty() || text == entryText(key)) << index << ' ' << key;
        }
        EXPECT_TRUE(
            shipped.TextByKey(QStringLiteral("Msg_Unlock")).contains(QChar(kUnlockCharacter)));
    }
    shipped.ApplyLanguage(&form, 1);
    EXPECT_EQ(form.cbCom1->Items(),
              (QStringList{QStringLiteral("Kein Gerät"), "COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(form.findChild<QWidget*>("masterled")->toolTip(),
              QStringLiteral("Blinkt, wenn Daten gesendet werden"));
    EXPECT_EQ(form.masterled->Hint(), QStringLiteral("Blinkt, wenn Daten gesendet werden"));
    EXPECT_EQ(form.seAktFrame->toolTip(),
              QStringLiteral("Aktuelles Bild; eine Zahl eingeben, um dorthin zu springen"));
    EXPECT_EQ(form.findChild<QPushButton*>("bDelete")->text(), QStringLiteral("Lösche S."));
    EXPECT_EQ(shipped.TextByKey(QStringLiteral("Msg_SetInPoint")),
              QStringLiteral("Soll das aktuelle Bild der neue In-Punkt werden?"));
    shipped.ApplyLanguage(&form, 0);
    EXPECT_EQ(form.cbCom2->Items().front(), QStringLiteral("No Device"));
    EXPECT_EQ(form.sbUSA->text(), QStringLiteral("Eng."));
    EXPECT_EQ(form.findChild<QGroupBox*>("gbSync")->title(), QStringLiteral("Sync. Points:"));
    EXPECT_EQ(shipped.TextByKey(QStringLiteral("ErrMsg_SetComPort1")).count(u'\n'), 1);
}

TEST_F(LanguageTest, ShippedFilesAreWindows1252Text) {
    for (const char* name : {"english.lng", "german.lng", "french.lng"}) {
        QFile file(QCoreApplication::applicationDirPath() + u'/' + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QByteArray bytes = file.readAll();
        for (qsizetype i = 0; i + 1 < bytes.size(); ++i) {
            // A UTF-8 lead byte before a continuation byte would show as two odd characters.
            const auto lead = static_cast<unsigned char>(bytes[i]);
            const auto next = static_cast<unsigned char>(bytes[i + 1]);
            EXPECT_FALSE(lead >= 0xC2 && lead <= 0xF4 && next >= 0x80 && next <= 0xBF)
                << name << " at " << i;
        }
    }
}

// A key that one shipped file lacks shows its English fallback to an operator who chose the other
// language. The keys are those the program's sources name; both files must also hold the same
// keys, so that the keys the program builds at run time (the socket errors) are in both as well.
TEST(ShippedLanguages, HoldEveryKeyTheProgramLooksUpAndTheSameKeysEach) {
    const QRegularExpression literalKey(
        QStringLiteral(R"re("((?:ErrMsg|ErrTitel|Msg|MsgTitel|TxT)_[A-Za-z0-9]+)")re"));
    QSet<QByteArray> looked;
    for (const char* folder : {"app", "media", "net", "serial", "storage", "widgets"}) {
        QDirIterator files(QStringLiteral(FL_SOURCE_DIR "/") + QLatin1String(folder),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile source(files.next());
            ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << source.fileName().toStdString();
            const QString text = QString::fromUtf8(source.readAll());
            for (const QRegularExpressionMatch& match : literalKey.globalMatch(text)) {
                looked.insert(match.captured(1).toLatin1());
            }
        }
    }
    // The sources were found: the program looks up far more than the original fifteen.
    ASSERT_GT(looked.size(), 2 * qsizetype(kMessageKeys.size()));

    const QString dir = QCoreApplication::applicationDirPath() + u'/';
    const ProfileDocument english = readProfileFile(dir + QStringLiteral("english.lng"));
    const ProfileDocument german = readProfileFile(dir + QStringLiteral("german.lng"));
    for (const QByteArray& key : looked) {
        EXPECT_FALSE(english.readString("Messages", key, {}).isEmpty())
            << "english.lng " << key.constData();
        EXPECT_FALSE(german.readString("Messages", key, {}).isEmpty())
            << "german.lng " << key.constData();
    }
    const QList<QByteArray> englishKeys = english.allKeys("Messages");
    const QList<QByteArray> germanKeys = german.allKeys("Messages");
    const QSet<QByteArray> inEnglish(englishKeys.begin(), englishKeys.end());
    const QSet<QByteArray> inGerman(germanKeys.begin(), germanKeys.end());
    const auto only = [](QSet<QByteArray> keys, const QSet<QByteArray>& other) {
        QStringList names;
        for (const QByteArray& key : keys.subtract(other)) {
            names << QString::fromLatin1(key);
        }
        names.sort();
        return names.join(u' ').toStdString();
    };
    EXPECT_EQ(only(inEnglish, inGerman), "") << "only in english.lng";
    EXPECT_EQ(only(inGerman, inEnglish), "") << "only in german.lng";
}

TEST_F(LanguageTest, CountCheckEndsTheProgramOnTooFewOrTooMany) {
    const QByteArray full = "[Interface]\r\n" + completeInterface();
    writeFile("english.lng", full);
    EXPECT_TRUE(lang.ApplyLanguageChecked(&form, 0));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(terminated.empty());

    QByteArray fewer = full;
    fewer.replace("fFrameLock.bPlay.Hint=text of fFrameLock.bPlay.Hint\r\n", "");
    const QByteArray more = full + "fFrameLock.eFilename.Hint=x\r\n";
    for (const QByteArray& bytes : {fewer, more}) {
        dialogs.messages.clear();
        terminated.clear();
        writeFile("english.lng", bytes);
        EXPECT_FALSE(lang.ApplyLanguageChecked(&form, 0));
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text,
                  pathOf("english.lng") + " is not correct. Please install it again!");
        EXPECT_EQ(dialogs.messages[0].caption, "frameLock PRO Interface Setup");
        EXPECT_EQ(dialogs.messages[0].flags, 16);
        EXPECT_EQ(terminated, std::vector<QObject*>{&form});
    }
    // The German operator reads it in German, though the file that would word it is the one
    // that is not correct (here it even lacks its messages).
    dialogs.messages.clear();
    terminated.clear();
    writeFile("german.lng", fewer);
    EXPECT_FALSE(lang.ApplyLanguageChecked(&form, 1));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              pathOf("german.lng") + " ist nicht in Ordnung. Bitte neu installieren!");
    EXPECT_EQ(dialogs.messages[0].caption,
              QStringLiteral("frameLock PRO Einrichtung der Oberfl\u00E4che"));
    EXPECT_EQ(terminated, std::vector<QObject*>{&form});

    dialogs.messages.clear();
    terminated.clear();
    EXPECT_FALSE(lang.ApplyLanguageChecked(&form, 2));  // no french.lng: nothing applied
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(terminated.size(), 1u);
}

// Qt's own words (a question's buttons, the file dialog) follow the language the operator chose.
TEST_F(LanguageTest, QtsOwnButtonsFollowTheLanguageApplied) {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_de.qm"))) {
        GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";
    }
    const auto buttons = [] {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.button(QMessageBox::Yes)->text() + u' ' + box.button(QMessageBox::No)->text();
    };
    lang.ApplyLanguage(&form, 1);
    EXPECT_EQ(buttons(), QStringLiteral("&Ja &Nein"));
    lang.ApplyLanguage(&form, 0);
    EXPECT_EQ(buttons(), QStringLiteral("&Yes &No"));
}

// A box up before the window has read its settings (a second copy started) speaks the language
// the settings keep, as the window's language buttons load them.
TEST_F(LanguageTest, TheStoredLanguageWordsWhatIsSaidBeforeTheWindowIsUp) {
    writeFile("english.lng", "[Messages]\r\nTxT_AlreadyRunning=runs\r\n");
    writeFile("german.lng", "[Messages]\r\nTxT_AlreadyRunning=l\xE4uft\r\n");
    const auto said = [this] {
        return storedOperatorWording(dir.path())("TxT_AlreadyRunning", "english");
    };
    EXPECT_EQ(said(), QStringLiteral("runs"));
    writeFile("frameLock.ini", "[System]\r\nsbGerman_Down=True\r\nsbUSA_Down=False\r\n");
    EXPECT_EQ(said(), QStringLiteral("l\u00E4uft"));
    // Both down: English, loaded last, is the one the window shows.
    writeFile("frameLock.ini", "[System]\r\nsbGerman_Down=true\r\nsbUSA_Down=True\r\n");
    EXPECT_EQ(said(), QStringLiteral("runs"));
    writeFile("frameLock.ini", "[System]\r\nsbUSA_Down=False\r\n");
    EXPECT_EQ(said(), QStringLiteral("runs"));
}

TEST_F(LanguageTest, EntriesFollowTheKeyRules) {
    auto* memo = form.add<QPlainTextEdit>(QStringLiteral("mNotes"));
    writeFile("english.lng",
              "[Messages]\r\nfFrameLock.bPlay.Caption=not read from here\r\n"
              "[interface]\r\n"
              "fFrameLock.Caption=Title\r\n"
              "fFrameLock..Hint=Form hint\r\n"
              "ffRAMELOCK.bStop.Caption=other letter case of the form\r\n"
              "fOther.bStop.Caption=another form\r\n"
              "NoDotAtAll=x\r\n"
              "fFrameLock.BPLAY.caption=Go = now\r\n"
              "fFrameLock.bplay.Caption=second of a key\r\n"
              "fFrameLock.cbCom1.Items.Text=A~~B~~~C~~\r\n"
              "fFrameLock.lbCut.Items.Text=only combo boxes\r\n"
              "fFrameLock.mNotes.Lines.Text=one~~two\r\n"
              "fFrameLock.bRewind.Caption=\r\n"
              "fFrameLock.cbLock.Checked=True\r\n"
              "fFrameLock.bStop.Font.Name=Arial\r\n"
              "fFrameLock.bGone.Caption=x\r\n"
              "fFrameLock.sbUSA.Hint=\"quoted\"\r\n");
    form.findChild<QPushButton*>("bRewind")->setText("Rewind");

    EXPECT_EQ(lang.ApplyLanguage(&form, 0), 6);
    EXPECT_EQ(form.windowTitle(), "Title");
    EXPECT_EQ(form.toolTip(), "Form hint");
    EXPECT_EQ(form.findChild<QPushButton*>("bStop")->text(), "");
    EXPECT_EQ(form.findChild<QPushButton*>("bPlay")->text(), "Go = now");
    EXPECT_EQ(form.cbCom1->Items(), (QStringList{"A", "B", "~C"}));
    EXPECT_EQ(memo->toPlainText(), "one\ntwo");
    EXPECT_EQ(form.findChild<QPushButton*>("bRewind")->text(), "Rewind");
    EXPECT_FALSE(form.cbLock->isChecked());
    EXPECT_EQ(form.sbUSA->toolTip(), "quoted");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(
        dialogs.messages[0].text,
        QStringLiteral("Can\u00B4t find bGone! Please delete entry in: ") + pathOf("english.lng"));
    EXPECT_EQ(dialogs.messages[0].caption, "frameLock PRO");
    EXPECT_EQ(dialogs.messages[0].flags, 0);
    // Applying the German file, the box speaks German.
    writeFile("german.lng", "[Interface]\r\nfFrameLock.bGone.Caption=weg\r\n");
    lang.ApplyLanguage(&form, 1);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].text,
              QStringLiteral("bGone nicht gefunden! Bitte den Eintrag l\u00F6schen in: ") +
                  pathOf("german.lng"));
}

TEST_F(LanguageTest, IndexIsBoundedForReadingButKeptAsGiven) {
    writeFile("english.lng", "[Messages]\r\nK=first\r\n");
    writeFile("french.lng", "[Messages]\r\nK=third\r\n");
    EXPECT_EQ(lang.TextByKey("K"), "first");  // before any language is applied
    lang.ApplyLanguage(&form, 3);
    EXPECT_EQ(lang.LanguageIndex(), 3);
    EXPECT_EQ(lang.TextByKey("K"), "third");
    lang.ApplyLanguage(&form, -1);
    EXPECT_EQ(lang.LanguageIndex(), -1);
    EXPECT_EQ(lang.TextByKey("K"), "first");
    EXPECT_EQ(lang.ktLanguageFile(7), "french.lng");
    EXPECT_EQ(lang.ktLanguageFile(-7), "english.lng");
}

TEST_F(LanguageTest, TextByKeyReadsTheFileAnewEveryTime) {
    writeFile("english.lng",
              "[Messages]\r\nTwo=Line one~~line two\r\nEmpty=\r\nMsg_Unlock=\xb4"
              "Caf\xe9\r\n");
    EXPECT_EQ(lang.TextByKey("Two"), "Line one\nline two");
    EXPECT_EQ(lang.TextByKey("Empty"), "");
    EXPECT_EQ(lang.TextByKey("Missing~~Key"), "Missing\nKey");
    EXPECT_EQ(lang.TextByKey("msg_unlock"), QStringLiteral("\u00B4Café"));
    writeFile("english.lng", "[Messages]\r\nTwo=changed\r\n");
    EXPECT_EQ(lang.TextByKey("Two"), "changed");
    QFile::remove(pathOf("english.lng"));
    EXPECT_EQ(lang.TextByKey("Two"), "Two");
}

class OrderRecordingLanguage : public TktWLanguage {
public:
    using TktWLanguage::TktWLanguage;
    QString TextByKey(const QString& key) const override {
        lookups.push_back(key);
        return TktWLanguage::TextByKey(key);
    }
    mutable QStringList lookups;
};

TEST_F(LanguageTest, ShowMessageByKeyLooksUpTheTitleFirst) {
    writeFile("english.lng",
              "[Messages]\r\nMsg_SetInPoint=Really?\r\nMsgTitel_SetInPoint=Set In\r\n");
    OrderRecordingLanguage recording(nullptr, &dialogs);
    recording.setProgramDir(dir.path());
    dialogs.messageAnswers.push_back(7);
    EXPECT_EQ(recording.ShowMessageByKey("Msg_SetInPoint", "MsgTitel_SetInPoint", 36), 7);
    EXPECT_EQ(recording.lookups, (QStringList{"MsgTitel_SetInPoint", "Msg_SetInPoint"}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Really?");
    EXPECT_EQ(dialogs.messages[0].caption, "Set In");
    EXPECT_EQ(dialogs.messages[0].flags, 36);

    EXPECT_EQ(recording.ShowMessageByKey("ErrMsg_None", "ErrTitel_None", 16), 1);
    EXPECT_EQ(dialogs.messages[1].text, "ErrMsg_None");
    EXPECT_EQ(dialogs.messages[1].caption, "ErrTitel_None");
}

TEST(LanguageTermination, DefaultEndClosesTheFormOnceControlReturnsToTheLoop) {
    QTemporaryDir empty;
    RecordingDialogs dialogs;
    TktLanguage lang(nullptr, &dialogs);
    lang.setProgramDir(empty.path());
    lang.setKtExpectedProbs(78);
    TestFrameLock form;
    form.show();
    EXPECT_FALSE(lang.ApplyLanguageChecked(&form, 0));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(form.isVisible());  // nothing ends under the caller's feet
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
}

}  // namespace

#include "storage/gui/form_storage.h"
#include "../serial/pty_pair.h"
#include "app/kt_props.h"
#include "storage/framelock_settings.h"
#include "storage/kt_language.h"
#include "storage/profile_file.h"
#include "storage/props_storage.h"
#include "storage/stored_props.h"
#include "support/log_capture.h"
#include "support/recording_dialogs.h"
#include "test_form.h"
#include "window_harness.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

namespace {

class FormStorageTest : public testing::Test {
protected:
    void SetUp() override {
        QCoreApplication::setApplicationName(QStringLiteral("frameLock PRO"));
        path = dir.filePath(QStringLiteral("frameLock.ini"));
        form = std::make_unique<TestFrameLock>();
        storage = new TFormStorage(form.get(), &dialogs);
        storage->setIniFileName(path);
        storage->setIniSection(QStringLiteral("System"));
        storage->setOptions(TFormPlacement::fpPosition);
        storage->setStoredProps(frameLockStoredProps());
        storage->ResolveStoredProps();
    }

    void writeFile(const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray fileBytes() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Key names of one section in file order.
    QList<QByteArray> keys(const QByteArray& section) const {
        return readProfileFile(path).keys(section);
    }
    QByteArray value(const QByteArray& key, const QByteArray& section = "System") const {
        return readProfileFile(path).readString(section, key, "<none>");
    }
    static QByteArray suffix() {
        const QSize size = QGuiApplication::primaryScreen()->size();
        return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height()).toLatin1();
    }

    QTemporaryDir dir;
    QString path;
    RecordingDialogs dialogs;
    std::unique_ptr<TestFrameLock> form;
    TFormStorage* storage = nullptr;
};

TEST_F(FormStorageTest, FirstRunKeepsDesignValuesAndWritesEveryKey) {
    form->show();
    EXPECT_TRUE(storage->LoadDone());
    EXPECT_TRUE(form->rbMaster->isChecked());
    EXPECT_EQ(form->eSlaveIP->text(), "127.0.0.1");
    storage->FormDestroy();

    // The window's place first; the stored properties follow (RealComponentsTest).
    const QList<QByteArray> placement = {"FormVersion",
                                         "Flags",
                                         "ShowCmd",
                                         "PixelsPerInch",
                                         "MinMaxPos" + suffix(),
                                         "MinMaxPos",
                                         "NormPos" + suffix(),
                                         "NormPos",
                                         "Visible"};
    EXPECT_EQ(keys("System").mid(0, placement.size()), placement);
    EXPECT_EQ(value("FormVersion"), "0");
    EXPECT_EQ(value("Visible"), "1");
    EXPECT_EQ(value("ShowCmd"), "1");
    EXPECT_EQ(value("eSlaveIP_Text"), "127.0.0.1");
    EXPECT_FALSE(readProfileFile(path).hasSection("System.lbCut_Items"));
    EXPECT_TRUE(dialogs.messages.empty());
}

// Every key of a stored property that is not a list, in save order, with the text the design
// value is written as and another valid value.
struct StoredKey {
    QByteArray key;
    QByteArray design;
    QByteArray other;
};

const std::vector<StoredKey> kStoredKeys = {
    {"StatusTimer_Interval", "1000", "900"},
    {"cbAutoStart_Checked", "False", "True"},
    {"cbLock_Checked", "False", "True"},
    {"Client_Port", "8234", "8300"},
    {"Server_Port", "8234", "65535"},
    {"SharedClock_Port", "8235", "9000"},
    {"SharedClock_DriftPpm", "0", "-150"},
    {"cbFullscreen_Checked", "False", "True"},
    {"cbRepeat_Checked", "True", "False"},
    {"eFilename_Text", "", "/media/show.avi"},
    {"ClientStatusTimer_Interval", "2000", "2500"},
    {"OpenTimer_Interval", "2000", "3000"},
    // The sync time: the slider below, loaded after it, sets it again.
    {"StartTimer_Interval", "400", "1200"},
    {"TestTimer_Interval", "1000", "1500"},
    {"rbCom_Checked", "False", "True"},
    {"rbLan_Checked", "True", "False"},
    {"rbMaster_Checked", "True", "False"},
    {"rbSlave_Checked", "False", "True"},
    {"sbGerman_Down", "False", "True"},
    {"sbUSA_Down", "True", "False"},
    {"ComPort1_BaudRate", "br9600", "br115200"},
    {"ComPort2_BaudRate", "br9600", "br110"},
    {"ComPort1_DataBits", "dbEight", "dbSeven"},
    {"ComPort2_DataBits", "dbEight", "dbFive"},
    {"ComPort1_ParityBits", "prNone", "prOdd"},
    {"ComPort1_ParityCheck", "False", "True"},
    {"ComPort1_ParityReplace", "False", "True"},
    {"ComPort1_ParityReplaceChar", "0", "63"},
    {"ComPort2_ParityBits", "prNone", "prSpace"},
    {"ComPort2_ParityCheck", "False", "True"},
    {"ComPort2_ParityReplace", "False", "True"},
    {"ComPort2_ParityReplaceChar", "0", "255"},
    {"ComPort1_StopBits", "sbOneStopBit", "sbTwoStopBits"},
    {"ComPort2_StopBits", "sbOneStopBit", "sbOne5StopBits"},
    {"ComportsNr_ktInteger1", "0", "2"},
    {"ComportsNr_ktInteger2", "0", "4"},
    {"eSlaveIP_Text", "127.0.0.1", "10.0.0.7"},
    {"tbSync_Position", "400", "1200"},
    {"eIn_Value", "0", "2147483647"},
    {"ComportsNr_ktBoolean", "True", "False"},
    {"Server_CommandHosts", "", "10.0.0.7, 10.0.0.8"},
    {"Remote_HttpPort", "8236", "8300"},
    {"Remote_OscPort", "0", "8237"},
    {"Remote_Token", "", "0123456789abcdef0123456789abcdef"},
};

// The stored properties of the program's own main window, built but not shown (its link opens
// at the first show only), so that no component the settings name can be missed.
class RealComponentsTest : public testing::Test {
protected:
    void SetUp() override {
        props.setEntries(frameLockStoredProps());
        props.resolve(&h.window());
    }
    QByteArray saved() {
        ProfileDocument document;
        props.save(document, "System");
        return document.serialize();
    }

    WindowHarness h;
    StoredPropsList props;
};

TEST_F(RealComponentsTest, EveryStoredPropertyIsWrittenAsItsDesignValue) {
    EXPECT_EQ(props.entries(), frameLockStoredProps());
    const ProfileDocument document = ProfileDocument::parse(saved());
    QList<QByteArray> expected;
    for (const StoredKey& stored : kStoredKeys) {
        expected << stored.key;
        EXPECT_EQ(document.readString("System", stored.key, "<none>"), stored.design)
            << stored.key.data();
    }
    EXPECT_EQ(document.keys("System"), expected);
}

TEST_F(RealComponentsTest, EveryStoredPropertyReachesTheRealComponentsAndComesBackUnchanged) {
    ProfileDocument document;
    for (const StoredKey& stored : kStoredKeys) {
        document.writeString("System", stored.key, stored.other);
    }
    props.load(document, "System");

    const TfFrameLock& w = h.window();
    EXPECT_EQ(w.Client->Port(), 8300);
    EXPECT_EQ(w.Server->Port(), 65535);
    EXPECT_EQ(w.ComPort1->BaudRate(), TBaudRate::br115200);
    EXPECT_EQ(w.ComPort2->BaudRate(), TBaudRate::br110);
    EXPECT_EQ(w.ComPort1->DataBits(), TDataBits::dbSeven);
    EXPECT_EQ(w.ComPort2->DataBits(), TDataBits::dbFive);
    EXPECT_EQ(w.ComPort1->Parity()->Bits(), TParityBits::prOdd);
    EXPECT_TRUE(w.ComPort1->Parity()->Check());
    EXPECT_TRUE(w.ComPort1->Parity()->Replace());
    EXPECT_EQ(w.ComPort1->Parity()->ReplaceChar(), 63);
    EXPECT_EQ(w.ComPort2->Parity()->Bits(), TParityBits::prSpace);
    EXPECT_EQ(w.ComPort2->Parity()->ReplaceChar(), 255);
    EXPECT_EQ(w.ComPort1->StopBits(), TStopBits::sbTwoStopBits);
    EXPECT_EQ(w.ComPort2->StopBits(), TStopBits::sbOne5StopBits);
    EXPECT_EQ(h.ui().eIn->Value(), 2147483647);
    EXPECT_TRUE(h.ui().rbSlave->isChecked());
    EXPECT_TRUE(h.ui().rbCom->isChecked());
    EXPECT_FALSE(h.ui().sbUSA->isChecked());
    EXPECT_EQ(h.ui().tbSync->value(), 1200);
    EXPECT_EQ(w.ComportsNr->ktInteger2(), 4);

    const ProfileDocument again = ProfileDocument::parse(saved());
    for (const StoredKey& stored : kStoredKeys) {
        EXPECT_EQ(again.readString("System", stored.key, "<none>"), stored.other)
            << stored.key.data();
    }
}

TEST_F(FormStorageTest, ValueAComponentRefusesIsSkippedAndTheLoadGoesOn) {
    // A listening server refuses a new port; an open serial port refuses line settings its
    // device cannot make (one and a half stop bits with eight data bits).
    form->Server->setPort(0);
    form->Server->setListen(true);
    ASSERT_TRUE(form->Server->Listen());
    PtyPair line;
    ASSERT_TRUE(line.ok());
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM1, line.slavePath());
    form->ComPort1->SetDevicePaths(paths);
    form->ComPort1->Open();
    ASSERT_TRUE(form->ComPort1->Connected());

    writeFile(
        "[System]\n"
        "Server_Port=9000\n"
        "cbFullscreen_Checked=True\n"
        "ComPort1_StopBits=sbOne5StopBits\n"
        "ComPort2_StopBits=sbTwoStopBits\n"
        "eIn_Value=77\n");
    form->show();

    EXPECT_TRUE(storage->LoadDone());
    EXPECT_EQ(form->Server->Port(), 0);
    EXPECT_TRUE(form->Server->Listen());
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_TRUE(form->cbFullscreen->isChecked());
    EXPECT_EQ(form->ComPort2->StopBits(), TStopBits::sbTwoStopBits);
    EXPECT_EQ(form->eIn->Value(), 77);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FormStorageTest, LoadAssignsThroughSettersInListOrderIgnoringCase) {
    writeFile(
        "[system]\n"
        "tbsync_position=5000\n"
        "rbslave_checked=TRUE\n"
        "rbCom_Checked=true\n"
        "cbautostart_checked=true\n"
        "sbGerman_Down=True\n"
        "comport2_baudrate=BR19200\n"
        "ComPort1_ParityBits=prEven\n"
        "ComPort1_ParityCheck=True\n"
        "ComPort1_ParityReplaceChar=63\n"
        "StartTimer_Interval=250\n"
        "ComportsNr_ktInteger1=3\n"
        "ComportsNr_ktBoolean=False\n"
        "eIn_Value=1500\n"
        "Server_Port=9000\n");
    form->show();

    EXPECT_TRUE(form->cbAutoStart->isChecked());
    EXPECT_TRUE(form->rbSlave->isChecked());
    EXPECT_FALSE(form->rbMaster->isChecked());
    EXPECT_TRUE(form->rbCom->isChecked());
    EXPECT_FALSE(form->rbLan->isChecked());
    EXPECT_TRUE(form->sbGerman->isChecked());
    EXPECT_FALSE(form->sbUSA->isChecked());
    EXPECT_EQ(form->tbSync->value(), 2000);  // held within the bar's range
    EXPECT_EQ(form->ComPort2->BaudRate(), TBaudRate::br19200);
    EXPECT_EQ(form->ComPort1->Parity()->Bits(), TParityBits::prEven);
    EXPECT_TRUE(form->ComPort1->Parity()->Check());
    EXPECT_EQ(form->ComPort1->Parity()->ReplaceChar(), 63);
    EXPECT_EQ(form->StartTimer->interval(), 250);
    EXPECT_EQ(form->ComportsNr->ktInteger1(), 3);
    EXPECT_FALSE(form->ComportsNr->ktBoolean());
    EXPECT_EQ(form->eIn->Value(), 1500);
    EXPECT_EQ(form->Server->Port(), 9000);

    // Change handlers ran during the load, in the order of the list.
    const QStringList& runs = form->handlerRuns;
    EXPECT_LT(runs.indexOf("cbAutoStartClick"), runs.indexOf("rbComClick"));
    EXPECT_LT(runs.indexOf("rbComClick"), runs.indexOf("rbSlaveClick"));
    EXPECT_LT(runs.indexOf("rbSlaveClick"), runs.indexOf("tbSyncChange"));
    EXPECT_FALSE(runs.contains("cbRepeatClick"));  // unchanged values run nothing
}

TEST_F(FormStorageTest, BadValuesFollowTheirKindsRules) {
    writeFile(
        "[System]\n"
        "ComPort1_BaudRate=br1000000\n"
        "TestTimer_Interval=\n"
        "OpenTimer_Interval=12abc\n"
        "cbRepeat_Checked=yes\n"
        "ComPort1_DataBits=\n"
        "Client_Port=70000\n"
        "Server_Port=-1\n"
        "ComPort1_ParityReplaceChar=300\n"
        "ComportsNr_ktInteger2=99999999999999999999\n"
        "eIn_Value=-5\n");
    form->show();
    EXPECT_EQ(form->ComPort1->BaudRate(), TBaudRate::br9600);
    EXPECT_TRUE(form->cbRepeat->isChecked());
    EXPECT_EQ(form->ComPort1->DataBits(), TDataBits::dbEight);
    // Values outside a port's or a byte's range are refused rather than wrapped.
    EXPECT_EQ(form->Client->Port(), 8234);
    EXPECT_EQ(form->Server->Port(), 8234);
    EXPECT_EQ(form->ComPort1->Parity()->ReplaceChar(), 0);
    EXPECT_EQ(form->ComportsNr->ktInteger2(), 0);
    EXPECT_EQ(form->eIn->Value(), 0);  // the spin edit holds it within its range
    EXPECT_EQ(form->eIn->text(), "0");
}

// With a port of 0 the Master would listen where no Slave looks; with an interval of 0 a timer
// would never retry or start the show.
TEST_F(FormStorageTest, UnusablePortsAndIntervalsKeepTheirDesignValuesAndAreLogged) {
    writeFile(
        "[System]\n"
        "Server_Port=0\n"
        "Client_Port=abc\n"
        "ClientStatusTimer_Interval=0\n"
        "OpenTimer_Interval=abc\n"
        "TestTimer_Interval=-5\n"
        "StartTimer_Interval=\n"
        "StatusTimer_Interval=2s\n"
        "ComportsNr_ktInteger1=abc\n"
        "eIn_Value=12abc\n");
    form->eIn->setValue(7);
    LogCapture log;
    form->show();

    EXPECT_EQ(form->Server->Port(), 8234);
    EXPECT_EQ(form->Client->Port(), 8234);
    EXPECT_EQ(form->ClientStatusTimer->interval(), 2000);
    EXPECT_EQ(form->OpenTimer->interval(), 2000);
    EXPECT_EQ(form->TestTimer->interval(), 1000);
    EXPECT_EQ(form->StartTimer->interval(), 400);
    EXPECT_EQ(form->StatusTimer->interval(), 1000);
    // Every other integer keeps the rule that text which is not a number reads as 0.
    EXPECT_EQ(form->eIn->Value(), 0);
    EXPECT_EQ(form->ComportsNr->ktInteger1(), 0);
    EXPECT_TRUE(log.contains(QStringLiteral("\"Server_Port\" = \"0\" keeping \"8234\"")));
    EXPECT_TRUE(log.contains(QStringLiteral("\"OpenTimer_Interval\" = \"abc\" keeping \"2000\"")));

    // A usable number is taken as before.
    writeFile("[System]\nServer_Port=1\nOpenTimer_Interval=1\n");
    storage->LoadSettings();
    EXPECT_EQ(form->Server->Port(), 1);
    EXPECT_EQ(form->OpenTimer->interval(), 1);
}

TEST_F(FormStorageTest, TextsRoundTripTrimmedQuotedAndInWindows1252) {
    form->show();
    form->eFilename->setText(QStringLiteral("  /media/Füße.avi \t"));
    form->eSlaveIP->setText(QStringLiteral("\"10.0.0.7\""));
    storage->FormDestroy();
    EXPECT_TRUE(
        fileBytes().contains("eFilename_Text=/media/F\xfc\xdf"
                             "e.avi\r\n"));
    EXPECT_TRUE(fileBytes().contains("eSlaveIP_Text=\"\"10.0.0.7\"\"\r\n"));

    TestFrameLock next;
    TFormStorage restore(&next, &dialogs);
    restore.setIniFileName(path);
    restore.setIniSection(QStringLiteral("System"));
    restore.setStoredProps(frameLockStoredProps());
    restore.LoadSettings();
    EXPECT_EQ(next.eFilename->text(), QStringLiteral("/media/Füße.avi"));
    EXPECT_EQ(next.eSlaveIP->text(), QStringLiteral("\"10.0.0.7\""));
}

TEST_F(FormStorageTest, TextsWindows1252CannotHoldKeepTheirLetters) {
    form->show();
    form->eFilename->setText(QStringLiteral("/media/Видео.avi"));
    form->lbCut->setItems({QStringLiteral("Ã¤ stays two letters"), QStringLiteral("Ω")});
    storage->FormDestroy();
    EXPECT_TRUE(fileBytes().contains(QStringLiteral("eFilename_Text=/media/Видео.avi").toUtf8()));
    EXPECT_TRUE(fileBytes().contains("Item0=\xc3\xa4 stays two letters"));

    TestFrameLock next;
    TFormStorage restore(&next, &dialogs);
    restore.setIniFileName(path);
    restore.setIniSection(QStringLiteral("System"));
    restore.setStoredProps(frameLockStoredProps());
    restore.LoadSettings();
    EXPECT_EQ(next.eFilename->text(), QStringLiteral("/media/Видео.avi"));
    EXPECT_EQ(next.lbCut->Items(),
              (QStringList{QStringLiteral("Ã¤ stays two letters"), QStringLiteral("Ω")}));
}

TEST_F(FormStorageTest, SyncPointListHasItsOwnSection) {
    form->show();
    form->lbCut->setItems({"100", " 250 ", "'x'"});
    storage->FormDestroy();
    EXPECT_EQ(keys("System.lbCut_Items"), (QList<QByteArray>{"Count", "Item0", "Item1", "Item2"}));
    EXPECT_EQ(value("Count", "System.lbCut_Items"), "3");
    EXPECT_TRUE(fileBytes().contains("Item1= 250 \r\n"));
    EXPECT_TRUE(fileBytes().contains("Item2=\"'x'\"\r\n"));

    form->lbCut->setItems({});
    storage->SaveSettings();
    EXPECT_FALSE(readProfileFile(path).hasSection("System.lbCut_Items"));
    EXPECT_FALSE(fileBytes().contains("Item0"));
}

TEST_F(FormStorageTest, ListCountRulesGapsAndBadCounts) {
    writeFile("[System.lbCut_Items]\nCount=3\nItem0=10\nItem2=30\n");
    form->lbCut->setItems({"keep"});
    storage->LoadSettings();
    EXPECT_EQ(form->lbCut->Items(), (QStringList{"10", "", "30"}));

    for (const QByteArray count : {"0", "-2", "abc", ""}) {
        writeFile("[System.lbCut_Items]\nCount=" + count + "\nItem0=10\n");
        form->lbCut->setItems({"keep"});
        storage->LoadSettings();
        EXPECT_EQ(form->lbCut->Items(), QStringList{"keep"}) << count.constData();
    }
}

TEST_F(FormStorageTest, DamagedListCountReadsNoFurtherThanTheItemsPresent) {
    writeFile("[System.lbCut_Items]\nCount=65536\nItem0=10\nitem1=20\nItem07=x\nItem+9=x\n");
    storage->LoadSettings();
    EXPECT_EQ(form->lbCut->Items(), (QStringList{"10", "20"}));

    writeFile("[System.lbCut_Items]\nCount=2147483647\nItem1=x\nItem3000000000=y\n");
    storage->LoadSettings();
    EXPECT_EQ(form->lbCut->Items(), (QStringList{"", "x"}));

    writeFile("[System.lbCut_Items]\nCount=2\nItem1=a\nItem5=beyond the count\n");
    storage->LoadSettings();
    EXPECT_EQ(form->lbCut->Items(), (QStringList{"", "a"}));

    // Item keys far out are still bounded.
    writeFile("[System.lbCut_Items]\nCount=2147483647\nItem65535=z\nItem70000=w\n");
    storage->LoadSettings();
    ASSERT_EQ(form->lbCut->count(), TPropsStorage::kMaxListItems);
    EXPECT_EQ(form->lbCut->item(TPropsStorage::kMaxListItems - 1)->text(), "z");

    // A Count with no item at all keeps the list.
    writeFile("[System.lbCut_Items]\nCount=3\n");
    form->lbCut->setItems({"keep"});
    storage->LoadSettings();
    EXPECT_EQ(form->lbCut->Items(), QStringList{"keep"});
}

TEST_F(FormStorageTest, EntriesWithoutComponentAreDroppedAndWriteNothing) {
    storage->setStoredProps({"NoSuch.Checked", "cbTest", ".Checked", " cbtest . Checked ",
                             "cbTest.NoSuchProperty", "cbAutoStart.Checked"});
    storage->ResolveStoredProps();
    EXPECT_EQ(storage->StoredProps(),
              (QStringList{" cbtest . Checked ", "cbTest.NoSuchProperty", "cbAutoStart.Checked"}));
    form->show();
    storage->FormDestroy();
    const QList<QByteArray> all = keys("System");
    EXPECT_TRUE(all.contains("cbTest_Checked"));  // spelled as declared, not as listed
    EXPECT_TRUE(all.contains("cbAutoStart_Checked"));
    EXPECT_EQ(all.size(), 9 + 2);

    delete form->findChild<QCheckBox*>(QStringLiteral("cbTest"));
    EXPECT_EQ(storage->StoredProps(), QStringList{"cbAutoStart.Checked"});
}

TEST_F(FormStorageTest, OlderFormVersionRestoresNothingAndIsRewritten) {
    writeFile("[System]\nFormVersion=-1\ncbAutoStart_Checked=True\nNormPos=5,5,10,10\n");
    storage->LoadSettings();
    EXPECT_TRUE(storage->LoadDone());
    EXPECT_FALSE(form->cbAutoStart->isChecked());
    storage->SaveSettings();
    EXPECT_EQ(value("FormVersion"), "0");
}

TEST_F(FormStorageTest, LoadsOnceAtFirstShowAndSavesOnceAtDestruction) {
    writeFile("[System]\ncbAutoStart_Checked=True\n");
    form->show();
    EXPECT_TRUE(form->cbAutoStart->isChecked());
    storage->setActive(false);  // as the window's show handler does

    writeFile("[System]\ncbAutoStart_Checked=False\n");
    form->hide();
    form->show();
    EXPECT_TRUE(form->cbAutoStart->isChecked());

    form->close();  // the close query saves nothing while inactive
    EXPECT_EQ(fileBytes(), "[System]\ncbAutoStart_Checked=False\n");
    storage->setActive(true);  // as the window's close handler does
    storage->FormDestroy();
    EXPECT_EQ(value("cbAutoStart_Checked"), "True");
    EXPECT_EQ(value("Visible"), "1");
    EXPECT_TRUE(storage->SaveDone());
}

TEST_F(FormStorageTest, AcceptedCloseWhileActiveSavesAndDestructionDoesNotSaveAgain) {
    form->show();
    form->close();
    EXPECT_TRUE(storage->SaveDone());
    EXPECT_EQ(value("Visible"), "0");
    QFile::remove(path);
    storage->FormDestroy();
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(FormStorageTest, SaveBeforeAnyLoadIsRefusedWhileActive) {
    storage->SaveSettings();
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(FormStorageTest, RefusedWriteShowsTheErrorAndKeepsTheOldFile) {
    const QByteArray old = "[System]\n; operator's note\ncbAutoStart_Checked=True\n";
    writeFile(old);
    form->show();
    form->lbCut->setItems(QStringList(2000, QStringLiteral("123456789")));

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &tiny);
    storage->FormDestroy();
    // The operator who chose German reads it in German.
    TktLanguage german;
    german.ApplyLanguage(nullptr, 1);
    storage->setWording(Wording([&german](const QString& key) { return german.TextByKey(key); }));
    storage->SaveSettings();
    setrlimit(RLIMIT_FSIZE, &saved);

    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Unable to write to ") + path);
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("frameLock PRO"));
    EXPECT_EQ(dialogs.messages[0].flags, 16);
    EXPECT_EQ(dialogs.messages[1].text,
              QStringLiteral("Schreiben in ") + path + QStringLiteral(" nicht m\u00F6glich"));
    EXPECT_FALSE(storage->SaveDone());
    EXPECT_EQ(fileBytes(), old);
}

// A file system of its own, small, and filled to the last byte on request. Mounting needs root;
// mounted() is false elsewhere.
class SmallDisk {
public:
    SmallDisk() {
        mounted_ = geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(),
                                             "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString filePath(const QString& name) const { return dir_.filePath(name); }
    QStringList files() const { return QDir(dir_.path()).entryList(QDir::Files); }
    void fill() {
        QFile filler(filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (filler.write(block) > 0) {
        }
        ASSERT_EQ(filler.write("f", 1), -1);
    }
    void makeRoom() { QFile::remove(filePath(QStringLiteral("filler"))); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

TEST_F(FormStorageTest, FullDiskLeavesTheOldFileWholeAndReportsOnce) {
    SmallDisk disk;
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    path = disk.filePath(QStringLiteral("frameLock.ini"));
    storage->setIniFileName(path);
    const QByteArray old =
        "[System]\r\neFilename_Text=/show/clip.avi\r\ncbAutoStart_Checked=True\r\n"
        "[System.lbCut_Items]\r\nCount=2\r\nItem0=0\r\nItem1=250\r\n";
    writeFile(old);
    form->show();
    disk.fill();

    storage->SaveAsWindowEnds();
    storage->FormDestroy();  // the destructor's call after a failed save as the window ended
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Unable to write to ") + path);
    EXPECT_FALSE(storage->SaveDone());
    EXPECT_EQ(fileBytes(), old);
    EXPECT_EQ(disk.files(), (QStringList{"filler", "frameLock.ini"}));

    // With room again the next run's save goes through.
    disk.makeRoom();
    storage->LoadSettings();
    storage->SaveAsWindowEnds();
    EXPECT_TRUE(storage->SaveDone());
    EXPECT_EQ(value("cbAutoStart_Checked"), "True");
    EXPECT_EQ(value("Item1", "System.lbCut_Items"), "250");
    EXPECT_EQ(disk.files(), QStringList{"frameLock.ini"});
}

TEST_F(FormStorageTest, LinesTheProgramDoesNotOwnSurviveASave) {
    const QByteArray before =
        "; written by hand\r\n[System]\r\nUnknownKey=42\r\ncbAutoStart_Checked=True\r\n\r\n"
        "[Tools]\r\nEditor=vi\r\n";
    writeFile(before);
    form->show();
    storage->FormDestroy();
    const QByteArray after = fileBytes();
    EXPECT_TRUE(
        after.startsWith("; written by hand\r\n[System]\r\nUnknownKey=42\r\n"
                         "cbAutoStart_Checked=True\r\n"));
    EXPECT_TRUE(after.endsWith("\r\n\r\n[Tools]\r\nEditor=vi\r\n"));
}

TEST_F(FormStorageTest, PositionComesFromTheCurrentScreenSizeElseThePlainKey) {
    const QByteArray dpi =
        QByteArray::number(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()));
    writeFile("[System]\nPixelsPerInch=" + dpi + "\nNormPos" + suffix() +
              "=50,60,999,999\nNormPos=10,20,30,40\n");
    storage->LoadSettings();
    EXPECT_EQ(form->pos(), QPoint(50, 60));
    EXPECT_EQ(form->size(), QSize(400, 300));  // a fixed border keeps its designed size

    writeFile("[System]\nNormPos(1x1)=70,80,90,90\nNormPos=10, 20 ,30,40\n");
    storage->LoadSettings();
    EXPECT_EQ(form->pos(), QPoint(10, 20));

    writeFile("[System]\nPixelsPerInch=1\nNormPos=30,30,90,90\n");
    storage->LoadSettings();
    EXPECT_EQ(form->pos(), QPoint(10, 20));

    // A position on no screen is brought back onto the primary one.
    writeFile("[System]\nNormPos=-90000,-90000,-80000,-80000\n");
    storage->LoadSettings();
    EXPECT_TRUE(
        QGuiApplication::primaryScreen()->availableGeometry().intersects(form->frameGeometry()));

    storage->SaveSettings();
    const QRect frame = form->frameGeometry();
    const QByteArray normPos = QStringLiteral("%1,%2,%3,%4")
                                   .arg(frame.left())
                                   .arg(frame.top())
                                   .arg(frame.left() + frame.width())
                                   .arg(frame.top() + frame.height())
                                   .toLatin1();
    EXPECT_EQ(value("NormPos" + suffix()), normPos);
    EXPECT_EQ(value("NormPos"), normPos);
}

}  // namespace

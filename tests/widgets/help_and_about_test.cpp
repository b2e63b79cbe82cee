#include <gtest/gtest.h>

#include "storage/profile_document.h"
#include "storage/profile_file.h"
#include "storage/windows1252.h"
#include "support/recording_dialogs.h"
#include "widgets/gui/about_dialog.h"
#include "widgets/gui/qt_dialog_service.h"
#include "widgets/gui/splash_window.h"
#include "widgets/gui/url_label.h"
#include "widgets/help_launch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QString germanText(const QString& key) {
    if (key == QLatin1String("TxT_FileFilter")) {
        return QStringLiteral("%1-Dateien (*%1)|*%1|Alle Dateien (*.*)|*.*");
    }
    return key == QLatin1String("TxT_WhereisFile") ? QStringLiteral("Wo ist die Datei") : QString();
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
}

}  // namespace

TEST(Help, MissingGermanPageAsksWithTitleAndHtmFilterAndCancelOpensNothing) {
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    LaunchHelp(dialogs, germanText, false, dir.path(), {});
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const OpenFileRequest& request = dialogs.fileRequests[0];
    EXPECT_EQ(request.title, QStringLiteral("Wo ist die Datei dhelp.htm"));
    EXPECT_EQ(request.filter, QStringLiteral(".htm-Dateien (*.htm)|*.htm|Alle Dateien (*.*)|*.*"));
    EXPECT_EQ(qtFileFilter(request.filter),
              QStringLiteral(".htm-Dateien (*.htm);;Alle Dateien (*)"));
    EXPECT_EQ(request.fileName, QStringLiteral("dhelp.htm"));
    EXPECT_EQ(QDir(request.initialDirectory), QDir(dir.path()));
    EXPECT_TRUE(dialogs.opened.isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(Help, PageChosenElsewhereOpensAndIsNotRemembered) {
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    const QString elsewhere = dir.filePath(QStringLiteral("docs/dhelp.htm"));
    dialogs.fileAnswers.push_back(elsewhere);
    LaunchHelp(dialogs, germanText, false, dir.path(), {});
    ASSERT_EQ(dialogs.opened.size(), 1);
    EXPECT_EQ(dialogs.opened[0], elsewhere);
    LaunchHelp(dialogs, germanText, false, dir.path(), {});
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(dialogs.opened.size(), 1);
}

TEST(Help, PageBesideTheProgramOpensWithoutAskingEvenOnADeepPath) {
    QTemporaryDir dir;
    // Deeper than the 100 characters an old shell buffer held: the whole path must arrive.
    const QString deep = dir.filePath(QString(60, QLatin1Char('d')) + QLatin1Char('/') +
                                      QString(60, QLatin1Char('e')));
    ASSERT_TRUE(QDir().mkpath(deep));
    touch(deep + QStringLiteral("/help.htm"));
    RecordingDialogs dialogs;
    LaunchHelp(dialogs, germanText, true, deep, {});
    EXPECT_TRUE(dialogs.fileRequests.empty());
    ASSERT_EQ(dialogs.opened.size(), 1);
    EXPECT_EQ(dialogs.opened[0], deep + QStringLiteral("/help.htm"));
    EXPECT_GT(dialogs.opened[0].size(), 120);
}

// A page that no viewer shows is told, whether the desktop refuses it at once or its viewer
// gives up later.
TEST(Help, APageThatDoesNotOpenIsToldByName) {
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("help.htm")));
    RecordingDialogs dialogs;
    QStringList failed;
    const auto tell = [&](const QString& page) { failed << page; };
    LaunchHelp(dialogs, germanText, true, dir.path(), tell);
    EXPECT_TRUE(failed.isEmpty());
    ASSERT_EQ(dialogs.openFailures.size(), 1u);
    dialogs.openFailures[0]();
    EXPECT_EQ(failed, QStringList(dir.filePath(QStringLiteral("help.htm"))));
    dialogs.shellOpenResult = false;
    LaunchHelp(dialogs, germanText, true, dir.path(), tell);
    EXPECT_EQ(failed.size(), 2);
}

TEST(Help, LocateFileWithoutExtensionOffersAllFiles) {
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    const LocatedFile located =
        LocateFile(dialogs, QStringLiteral("Where"), dir.filePath(QStringLiteral("README")));
    EXPECT_FALSE(located.found);
    EXPECT_EQ(located.name, dir.filePath(QStringLiteral("README")));
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].filter, QStringLiteral(" Files (*)|*|All Files (*.*)|*.*"));
}

TEST(HyperlinkLabel, ClickRunsTheNotificationFirstThenOpensAlsoWhenOpeningFails) {
    RecordingDialogs dialogs;
    dialogs.shellOpenResult = false;
    TktWURLLabel link(dialogs);
    link.setText(QStringLiteral("Tom & Jerry"));
    link.setktWebPage(QStringLiteral("mailto:tom@example.org"));
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
    QStringList order;
    link.OnClick = [&](TktWURLLabel&) {
        order << QStringLiteral("click:%1").arg(dialogs.opened.size());
    };
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(order, QStringList{QStringLiteral("click:0")});
    EXPECT_EQ(dialogs.opened, QStringList{QStringLiteral("mailto:tom@example.org")});
    EXPECT_TRUE(dialogs.messages.empty());
    // A press that ends outside the label is no click.
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(link.width() + 20, 2));
    EXPECT_EQ(dialogs.opened.size(), 1);
}

TEST(HyperlinkLabel, BlueUnderlinedHandCursorAndAmpersandShown) {
    RecordingDialogs dialogs;
    TktWURLLabel link(dialogs);
    EXPECT_EQ(link.ktWebPage(), QStringLiteral("https://www.example.com"));
    EXPECT_EQ(link.palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    link.setText(QStringLiteral("Tom & Jerry"));
    QFont bigger = link.font();
    bigger.setUnderline(false);
    bigger.setPixelSize(20);
    link.setFont(bigger);
    EXPECT_TRUE(link.font().underline());
    // Drawn whole: a key marker would swallow the "&" and make the text narrower.
    EXPECT_GE(link.sizeHint().width(),
              link.fontMetrics().horizontalAdvance(QStringLiteral("Tom & Jerry")));
}

TEST(AboutDialog, ShowsTheProductTextsLinksAndLogo) {
    RecordingDialogs dialogs;
    TfktWAbout about(dialogs);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    auto text = [&](const char* name) {
        const auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing>");
    };
    EXPECT_EQ(text("lTitel1"), QStringLiteral("frameLock PRO 2.20"));
    EXPECT_EQ(text("lTitel2"), QStringLiteral("LAN TCP/IP & COM"));
    EXPECT_EQ(text("lUntertitel"),
              QStringLiteral("AVI, WAV, MP3, DV Video and Audio Synchronizer"));
    const auto* logo = about.findChild<QLabel*>(QStringLiteral("ilogo"));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->pixmap().size(), QSize(150, 161));
    EXPECT_EQ(about.mailLink()->ktWebPage(), QStringLiteral("mailto:") + about.mailLink()->text());
    EXPECT_EQ(about.webLink()->ktWebPage(), about.webLink()->text());
    EXPECT_EQ(about.webLink()->pos(), QPoint(186, 114));
    EXPECT_EQ(about.webLink()->palette().color(QPalette::WindowText),
              about.palette().color(QPalette::WindowText));
    const auto* ok = about.findChild<QPushButton*>(QStringLiteral("bOK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->geometry(), QRect(327, 361, 92, 25));
    // Sized to its contents with the 10-pixel margin.
    EXPECT_EQ(about.width(), about.childrenRect().right() + 1 + 10);
    EXPECT_EQ(about.height(), ok->geometry().bottom() + 1 + 10);
}

// The small windows built in code take their texts from the wording given. A German operator
// meets none of the English file's messages there that the German file words otherwise.
TEST(AboutDialog, AndTheSplashShowAGermanOperatorNoEnglishMessage) {
    const QString dir = QCoreApplication::applicationDirPath() + u'/';
    const ProfileDocument english = readProfileFile(dir + QStringLiteral("english.lng"));
    const ProfileDocument german = readProfileFile(dir + QStringLiteral("german.lng"));
    QStringList englishOnly;
    for (const QByteArray& key : english.allKeys("Messages")) {
        const QByteArray text = english.readString("Messages", key, {});
        if (text != german.readString("Messages", key, {})) {
            // The words before the first placeholder; short ones ("port %1") would match German
            // words by chance.
            const QString words = decodeWindows1252(text).section(u'%', 0, 0).section("~~", 0, 0);
            if (words.size() >= 12) {
                englishOnly << words;
            }
        }
    }
    ASSERT_GT(englishOnly.size(), 40);
    const Wording say([&german](const QString& key) {
        const QByteArray text = german.readString("Messages", encodeWindows1252(key), {});
        return text.isEmpty() ? key : decodeWindows1252(text).replace("~~", "\n");
    });

    RecordingDialogs dialogs;
    TfktWAbout about(dialogs, say);
    TfSplash splash(dialogs, false, nullptr, say);
    for (const QWidget* window : {static_cast<QWidget*>(&about), static_cast<QWidget*>(&splash)}) {
        QStringList shown{window->windowTitle()};
        for (const QLabel* label : window->findChildren<QLabel*>()) {
            shown << label->text();
        }
        for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            shown << button->text();
        }
        ASSERT_GT(shown.size(), 4) << window->objectName().toStdString();
        for (const QString& text : shown) {
            for (const QString& words : englishOnly) {
                EXPECT_FALSE(text.contains(words))
                    << window->objectName().toStdString() << ": " << text.toStdString();
            }
        }
    }
}

TEST(AboutDialog, ReportButtonStartsAMailAndStaysOkCloses) {
    RecordingDialogs dialogs;
    TfktWAbout about(dialogs);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    auto* noMail = about.findChild<QLabel*>(QStringLiteral("lNoMail"));
    ASSERT_NE(noMail, nullptr);
    about.findChild<QPushButton*>(QStringLiteral("bReport"))->click();
    ASSERT_EQ(dialogs.opened.size(), 1);
    EXPECT_TRUE(dialogs.opened[0].startsWith(QStringLiteral("mailto:")));
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(noMail->isVisible());
    // The desktop finds no mail program after all: the address to write to is shown.
    dialogs.openFailures[0]();
    EXPECT_TRUE(noMail->isVisible());
    EXPECT_TRUE(noMail->text().endsWith(QStringLiteral("write to ") + about.mailLink()->text()));
    EXPECT_TRUE(about.rect().contains(noMail->geometry()));
    about.findChild<QPushButton*>(QStringLiteral("bOK"))->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

// Each page names the window's buttons by the captions its language file gives them, never by
// the other language's, covers the operator's topics and has no link to a missing section.
TEST(HelpPages, BothPagesLieBesideTheProgramNameTheirOwnCaptionsAndCoverTheOperatorsTopics) {
    const QDir programDir(QCoreApplication::applicationDirPath());
    const auto captions = [&programDir](const char* languageFile) {
        QFile file(programDir.filePath(QLatin1String(languageFile)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << languageFile;
        const ProfileDocument document = ProfileDocument::parse(file.readAll());
        QHash<QByteArray, QString> result;
        for (const QByteArray& key : document.allKeys("Interface")) {
            if (key.endsWith(".Caption")) {
                QString caption = decodeWindows1252(document.readString("Interface", key, ""));
                if (caption.endsWith(u':')) {
                    caption.chop(1);
                }
                result.insert(key, caption);
            }
        }
        return result;
    };
    const QHash<QByteArray, QString> englishCaptions = captions("english.lng");
    const QHash<QByteArray, QString> germanCaptions = captions("german.lng");
    const QByteArray buttons[] = {"bAbout",       "bHelp",    "sbUSA",       "sbGerman", "cbLock",
                                  "cbFullscreen", "cbRepeat", "cbAutoStart", "bGo",      "bDelete",
                                  "bStop",        "bRewind",  "bSet",        "bSetIn"};
    RecordingDialogs dialogs;
    for (const bool english : {true, false}) {
        LaunchHelp(dialogs, germanText, english, programDir.path(), {});
        QFile page(programDir.filePath(helpPageName(english)));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
        const QString html = QString::fromUtf8(page.readAll());
        const std::string name = page.fileName().toStdString();
        const QHash<QByteArray, QString>& own = english ? englishCaptions : germanCaptions;
        const QHash<QByteArray, QString>& other = english ? germanCaptions : englishCaptions;
        for (const QByteArray& button : buttons) {
            const QByteArray key = "fFrameLock." + button + ".Caption";
            ASSERT_TRUE(own.contains(key) && other.contains(key)) << key.constData();
            const QString bold = QStringLiteral("<b>%1</b>").arg(own[key]);
            EXPECT_TRUE(html.contains(bold)) << bold.toStdString() << " in " << name;
        }
        for (auto caption = other.begin(); caption != other.end(); ++caption) {
            if (own.value(caption.key()) != caption.value()) {
                const QString bold = QStringLiteral("<b>%1</b>").arg(caption.value());
                EXPECT_FALSE(html.contains(bold)) << bold.toStdString() << " in " << name;
            }
        }
        for (const char* topic : {"F1",
                                  "F4",
                                  "F8",
                                  "frameLock.ini",
                                  "[Ports]",
                                  "/dev/ttyS0",
                                  "8234",
                                  "8235",
                                  "SharedClock_Port",
                                  "Server_CommandHosts",
                                  "Remote_Token",
                                  "8236",
                                  "eIn_Value",
                                  "ComportsNr_ktBoolean",
                                  "System.lbCut_Items",
                                  "dialout",
                                  "\u25B6",
                                  "\u2713",
                                  "QT_LOGGING_RULES",
                                  "frameLock.log",
                                  "frameLock-show.csv",
                                  "framelock.service",
                                  "--version"}) {
            EXPECT_TRUE(html.contains(QString::fromUtf8(topic))) << topic << " in " << name;
        }
        const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
        for (const QRegularExpressionMatch& match : link.globalMatch(html)) {
            EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(match.captured(1))))
                << "#" << match.captured(1).toStdString() << " in " << name;
        }
        EXPECT_TRUE(html.trimmed().endsWith(QLatin1String("</html>")));
    }
    EXPECT_TRUE(dialogs.fileRequests.empty());
    EXPECT_EQ(dialogs.opened.size(), 2);
}

namespace {

// The desktop's opener, replaced by a script.
class FakeOpener {
public:
    explicit FakeOpener(const QByteArray& body) : path_(qgetenv("PATH")) {
        QFile script(dir_.filePath(QStringLiteral("xdg-open")));
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n" + body + "\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        script.close();
        qputenv("PATH", dir_.path().toUtf8() + ':' + path_);
    }
    ~FakeOpener() { qputenv("PATH", path_); }
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

private:
    QTemporaryDir dir_;
    QByteArray path_;
};

}  // namespace

// The desktop's opener only starts: a failure shows in its exit code, after the call. One that
// succeeds, started a second before one that fails, has long ended when the failure is told.
TEST(QtDialogs, AnOpenerThatGivesUpIsToldAndOneThatOpensIsNot) {
    QtDialogService dialogs;
    bool succeededToldFailed = false;
    bool failedTold = false;
    // Each script must outlive its opener: the shell reads it after the start.
    const FakeOpener succeeds("exit 0");
    ASSERT_TRUE(dialogs.shellOpen(QStringLiteral("mailto:help@example.org"),
                                  [&] { succeededToldFailed = true; }));
    const FakeOpener fails("sleep 1; exit 3");
    ASSERT_TRUE(
        dialogs.shellOpen(QStringLiteral("mailto:help@example.org"), [&] { failedTold = true; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return failedTold; }, 30000));
    EXPECT_FALSE(succeededToldFailed);
}

// A notice waits for nobody and goes when told.
TEST(QtDialogs, ANoticeIsUpWithoutBlockingAndClosesOnRequest) {
    QtDialogService dialogs;
    const int notice = dialogs.showNotice(QStringLiteral("tried again"), QStringLiteral("File"),
                                          MessageBoxFlags::IconError);
    QMessageBox* box = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* candidate = qobject_cast<QMessageBox*>(window);
            candidate && candidate->isVisible()) {
            box = candidate;
        }
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("tried again"));
    EXPECT_FALSE(box->isModal());
    const QPointer<QMessageBox> watched(box);
    dialogs.closeNotice(notice);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.isNull(); }, 5000));
}

#include <gtest/gtest.h>

#include "support/recording_dialogs.h"
#include "widgets/gui/splash_picture.h"
#include "widgets/gui/splash_window.h"
#include "widgets/gui/url_label.h"
#include "widgets/gui/widget_resources.h"
#include "widgets/splash_blend.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

void press(QWidget* target, int key, const QString& text) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
}

// Runs the deferred deletions that delete-on-close leaves behind.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

struct ShownSplash {
    explicit ShownSplash(bool master = false) : splash(new TfSplash(dialogs, master)) {
        splash->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(splash.data()));
    }
    ~ShownSplash() { delete splash.data(); }
    RecordingDialogs dialogs;
    QPointer<TfSplash> splash;
};

// A plain full-screen window standing in for the desktop.
struct Desktop {
    explicit Desktop(QColor colour) {
        window.setWindowFlag(Qt::FramelessWindowHint);
        window.setAutoFillBackground(true);
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, colour);
        window.setPalette(pal);
        window.setGeometry(QGuiApplication::primaryScreen()->geometry());
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(100);
    }
    QWidget window;
};

}  // namespace

TEST(SplashPicture, BlendsSyntheticImagesByTheFormulaAndFillsMissingScreen) {
    QImage screen(4, 2, QImage::Format_RGB32);
    screen.fill(QColor(200, 100, 0));
    QImage map(5, 2, QImage::Format_RGB32);
    map.fill(QColor(0, 50, 250));
    QImage mask(5, 2, QImage::Format_Grayscale8);
    const int grey[5] = {0, 69, 128, 255, 200};
    for (int x = 0; x < 5; ++x) {
        for (int y = 0; y < 2; ++y) {
            mask.setPixel(x, y, qRgb(grey[x], grey[x], grey[x]));
        }
    }
    const QImage out = blendSplashPicture(screen, map, mask, QColor(10, 20, 30));
    ASSERT_EQ(out.size(), QSize(5, 2));
    for (int x = 0; x < 5; ++x) {
        // The screen capture is one column short: the fifth column blends over the background.
        const QColor s = x < 4 ? QColor(200, 100, 0) : QColor(10, 20, 30);
        const QColor got = out.pixelColor(x, 1);
        EXPECT_EQ(got.red(), blendSplashByte(s.red(), 0, grey[x])) << x;
        EXPECT_EQ(got.green(), blendSplashByte(s.green(), 50, grey[x])) << x;
        EXPECT_EQ(got.blue(), blendSplashByte(s.blue(), 250, grey[x])) << x;
    }
    EXPECT_EQ(out.pixelColor(0, 0), QColor(200, 100, 0));
}

TEST(SplashResources, MapAndMaskHaveTheWindowSizeAndTheMaskFallsOffToTheLeft) {
    const QImage map = loadResourceBitmap(QStringLiteral("SPLASHMAP"));
    const QImage mask = loadResourceBitmap(QStringLiteral("SPLASHMASK"));
    ASSERT_EQ(map.size(), QSize(602, 257));
    ASSERT_EQ(mask.size(), QSize(602, 257));
    EXPECT_LE(map.colorCount(), 256);
    EXPECT_EQ(qGray(mask.pixel(301, 128)), 255);
    EXPECT_EQ(qGray(mask.pixel(590, 128)), 255);
    EXPECT_NEAR(qGray(mask.pixel(0, 0)), 69, 4);
    EXPECT_NEAR(qGray(mask.pixel(0, 256)), 69, 4);
    EXPECT_LT(qGray(mask.pixel(0, 128)), qGray(mask.pixel(100, 128)));
    EXPECT_LT(qGray(mask.pixel(300, 0)), 255);
    EXPECT_LT(qGray(mask.pixel(300, 256)), 255);
}

TEST(SplashWindow, BlendsTheDesktopBehindItByTheFormula) {
    const QColor desk(30, 200, 90);
    Desktop desktop(desk);
    ShownSplash shown;
    const QImage& picture = shown.splash->picture();
    ASSERT_EQ(picture.size(), QSize(602, 257));
    const QImage map = loadResourceBitmap(QStringLiteral("SPLASHMAP"));
    const QImage mask = loadResourceBitmap(QStringLiteral("SPLASHMASK"));
    for (const QPoint p : {QPoint(0, 0), QPoint(0, 128), QPoint(40, 250), QPoint(300, 128),
                           QPoint(601, 0), QPoint(150, 20)}) {
        const QRgb m = map.pixel(p);
        const int k = qGray(mask.pixel(p));
        const QColor got = picture.pixelColor(p);
        EXPECT_EQ(got.red(), blendSplashByte(desk.red(), qRed(m), k)) << p.x() << "," << p.y();
        EXPECT_EQ(got.green(), blendSplashByte(desk.green(), qGreen(m), k));
        EXPECT_EQ(got.blue(), blendSplashByte(desk.blue(), qBlue(m), k));
    }
    // The window stands centred on the screen, and a repaint does not blend it over itself.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(shown.splash->geometry().center(), screen.center());
    const QImage before = picture;
    shown.splash->repaint();
    QTest::qWait(50);
    EXPECT_EQ(shown.splash->picture(), before);
}

TEST(SplashWindow, TimerRunsEverySecondOnASlaveAndEveryTwoOnAMaster) {
    RecordingDialogs dialogs;
    TfSplash slave(dialogs, false);
    TfSplash master(dialogs, true);
    const auto* slaveTimer = slave.findChild<QTimer*>(QStringLiteral("CountDownTimer"));
    const auto* masterTimer = master.findChild<QTimer*>(QStringLiteral("CountDownTimer"));
    ASSERT_NE(slaveTimer, nullptr);
    ASSERT_NE(masterTimer, nullptr);
    EXPECT_EQ(slaveTimer->interval(), 1000);
    EXPECT_EQ(masterTimer->interval(), 2000);
    EXPECT_TRUE(masterTimer->isActive());
    EXPECT_EQ(slave.countdown(), 10);
}

TEST(SplashWindow, CountsTenToZeroMovingRightAndClosesAtTheEleventhTick) {
    ShownSplash shown(true);
    auto* count = shown.splash->findChild<QLabel*>(QStringLiteral("lCount"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->text(), QStringLiteral("10"));
    const int startX = count->x();
    for (int tick = 1; tick <= 10; ++tick) {
        shown.splash->CountDownTimerTimer();
        EXPECT_EQ(count->text(), QString::number(10 - tick));
    }
    EXPECT_EQ(count->x() - startX, 200);
    settle();
    ASSERT_FALSE(shown.splash.isNull());
    EXPECT_TRUE(shown.splash->isVisible());
    shown.splash->CountDownTimerTimer();
    settle();
    EXPECT_TRUE(shown.splash.isNull());
}

TEST(SplashWindow, RealTimerClosesTheModalSplashAndExecReturns) {
    RecordingDialogs dialogs;
    QPointer<TfSplash> splash = new TfSplash(dialogs, false);
    splash->findChild<QTimer*>(QStringLiteral("CountDownTimer"))->setInterval(5);
    splash->exec();
    EXPECT_TRUE(splash.isNull());
}

TEST(SplashWindow, KeyThatTypesACharacterClosesOthersDoNot) {
    for (const auto& [key, text] :
         std::vector<std::pair<int, QString>>{{Qt::Key_A, QStringLiteral("a")},
                                              {Qt::Key_Space, QStringLiteral(" ")},
                                              {Qt::Key_Return, QStringLiteral("\r")},
                                              {Qt::Key_Escape, QStringLiteral("\x1b")},
                                              {Qt::Key_7, QStringLiteral("7")}}) {
        ShownSplash shown;
        press(shown.splash, Qt::Key_Shift, QString());
        press(shown.splash, Qt::Key_F5, QString());
        settle();
        ASSERT_FALSE(shown.splash.isNull());
        press(shown.splash, key, text);
        settle();
        EXPECT_TRUE(shown.splash.isNull()) << key;
    }
}

TEST(SplashWindow, DoubleClickOnPictureOrTitlesClosesAClickOnTheLinkOpensIt) {
    for (const char* name : {"iSplash", "lTitel", "lTitel2"}) {
        ShownSplash shown;
        auto* target = shown.splash->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(target, nullptr) << name;
        QTest::mouseDClick(target, Qt::LeftButton, {}, QPoint(3, 3));
        settle();
        EXPECT_TRUE(shown.splash.isNull()) << name;
    }
    ShownSplash shown;
    auto* url = shown.splash->findChild<TktUrlLabel*>(QStringLiteral("lUrl"));
    ASSERT_NE(url, nullptr);
    QTest::mouseClick(url, Qt::LeftButton, {}, QPoint(3, 3));
    settle();
    ASSERT_FALSE(shown.splash.isNull());
    ASSERT_EQ(shown.dialogs.opened.size(), 1);
    EXPECT_EQ(shown.dialogs.opened[0], url->ktWebPage());
    EXPECT_EQ(url->text(), url->ktWebPage());
    auto* count = shown.splash->findChild<QWidget*>(QStringLiteral("lCount"));
    QTest::mouseDClick(count, Qt::LeftButton, {}, QPoint(3, 3));
    settle();
    EXPECT_FALSE(shown.splash.isNull());
}

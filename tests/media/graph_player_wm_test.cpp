// The player's video window under a real window manager (Openbox on a private Xvfb): full
// screen switched by the player and taken away by the window manager, and the window closed
// through the window manager. What the X server shows is read back with the X utilities, not
// only from Qt, which may report an old geometry for a while after a change.

#include "player_on_gstreamer.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

constexpr int WaitMs = 15000;

// Output of an X utility; empty when it failed.
QString runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(WaitMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString hexId(WId id) {
    return QStringLiteral("0x%1").arg(id, 0, 16);
}

// The window's inner area in root coordinates, as the X server has it.
QRect serverGeometry(WId id) {
    const QString info = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), hexId(id)});
    auto field = [&](const char* name) {
        const QRegularExpression re(QStringLiteral("%1:\\s+(-?\\d+)").arg(QLatin1String(name)));
        const QRegularExpressionMatch m = re.match(info);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height")};
}

QString property(WId id, const char* name) {
    return runTool(QStringLiteral("xprop"),
                   {QStringLiteral("-id"), hexId(id), QLatin1String(name)});
}

bool fullScreenState(WId id) {
    return property(id, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_FULLSCREEN"));
}

// True once the window manager has framed the window (it sets the frame's extents then).
bool framed(WId id) {
    static const QRegularExpression nonZero(QStringLiteral("=.*[1-9]"));
    return property(id, "_NET_FRAME_EXTENTS").contains(nonZero);
}

bool wmctrl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("wmctrl"), arguments);
    return process.waitForFinished(WaitMs) && process.exitCode() == 0;
}

// Lets queued X and Qt events arrive, so that anything still on its way is seen. Only for
// checks that something does not happen; whatever must happen is waited for.
void settle() {
    QTest::qWait(1000);
}

class GraphPlayerUnderWindowManager : public GraphPlayerOnGstreamer {
protected:
    void SetUp() override {
        ASSERT_FALSE(runTool(QStringLiteral("wmctrl"), {QStringLiteral("-m")}).isEmpty())
            << "no window manager runs on this display";
        player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 100)));
        player->OpenMedia();
        ASSERT_TRUE(player->HasVideoWindow());
        window = videoWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window, WaitMs));
        id = window->winId();
        // The window's own place is known once the window manager has framed it and the frame
        // stands where the player put it, as the X server and Qt both have it. The frame is
        // moved there after the framing: a place read any earlier is not the one the window
        // manager restores after full screen.
        const QPoint placed(700 - window->naturalSize().width(), 51);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QRect server = serverGeometry(id);
                return framed(id) && server.size() == window->naturalSize() &&
                       server == window->geometry() && window->frameGeometry().topLeft() == placed;
            },
            WaitMs))
            << "frame at " << window->frameGeometry().x() << "," << window->frameGeometry().y();
        natural = serverGeometry(id);
        screen = window->screen()->geometry();
        // Counts what the window reports; the graph turns each report into one queued event.
        auto lost = window->onFullScreenLost;
        window->onFullScreenLost = [this, lost] {
            ++lostReports;
            lost();
        };
        auto closed = window->onClosed;
        window->onClosed = [this, closed] {
            ++closeReports;
            closed();
        };
    }

    bool coversScreen() const {
        return fullScreenState(id) && serverGeometry(id) == screen && window->isVisible();
    }

    bool backToNatural() const {
        return !fullScreenState(id) && framed(id) && serverGeometry(id) == natural &&
               window->geometry() == natural;
    }

    VideoWindow* window = nullptr;
    WId id = 0;
    QRect natural;
    QRect screen;
    int lostReports = 0;
    int closeReports = 0;
};

TEST_F(GraphPlayerUnderWindowManager, TheFrameNotThePictureStandsWhereThePlayerPutIt) {
    // The window manager frames the window after it is shown; the frame then moves into the
    // place asked for, left of the owner and one pixel below its top. The frame's borders are
    // not known when the width is read, so its right edge overlaps the owner by their width.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->frameGeometry().topLeft() == QPoint(700 - natural.width(), 51); },
        WaitMs))
        << "frame at " << window->frameGeometry().x() << "," << window->frameGeometry().y();
}

TEST_F(GraphPlayerUnderWindowManager, FullScreenCoversTheScreenAndBackRestoresTheWindow) {
    player->SetFullScreen(true);
    EXPECT_TRUE(player->FullScreenActive());
    EXPECT_FALSE(owner.isVisible());
    EXPECT_EQ(service->messageDrain(), &owner);
    ASSERT_TRUE(QTest::qWaitFor([&] { return coversScreen(); }, WaitMs))
        << "server geometry " << serverGeometry(id).x() << "," << serverGeometry(id).y() << " "
        << serverGeometry(id).width() << "x" << serverGeometry(id).height();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->geometry() == screen; }, WaitMs));

    player->SetFullScreen(false);
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_TRUE(owner.isVisible());
    EXPECT_EQ(service->messageDrain(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return backToNatural(); }, WaitMs))
        << "server geometry " << serverGeometry(id).x() << "," << serverGeometry(id).y() << " "
        << serverGeometry(id).width() << "x" << serverGeometry(id).height();

    // Our own switch back is no loss of full screen, not even once the window manager's
    // late notifications have come in.
    settle();
    EXPECT_EQ(lostReports, 0);
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_TRUE(owner.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return backToNatural(); }, WaitMs));

    // And the switch works again after a round trip.
    player->SetFullScreen(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return coversScreen(); }, WaitMs));
    settle();
    EXPECT_EQ(lostReports, 0);
    EXPECT_TRUE(player->FullScreenActive());
}

// Switches faster than the window manager answers (the operator pressing the key twice, or a
// command arriving right after one): the window manager's answers to the first switch come in
// after the second and must not count as a loss.
TEST_F(GraphPlayerUnderWindowManager, QuickSwitchesEndInTheLastStateAsked) {
    player->SetFullScreen(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return coversScreen(); }, WaitMs));
    for (int i = 0; i < 3; ++i) {
        player->SetFullScreen(false);
        player->SetFullScreen(true);
    }
    settle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return coversScreen(); }, WaitMs));
    EXPECT_EQ(lostReports, 0);
    EXPECT_TRUE(player->FullScreenActive());
    EXPECT_FALSE(owner.isVisible());

    for (int i = 0; i < 3; ++i) {
        player->SetFullScreen(true);
        player->SetFullScreen(false);
    }
    settle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return backToNatural(); }, WaitMs));
    EXPECT_EQ(lostReports, 0);
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_TRUE(owner.isVisible());
}

TEST_F(GraphPlayerUnderWindowManager, WindowManagerTakingFullScreenAwayBringsTheOwnerBackOnce) {
    player->SetFullScreen(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return coversScreen(); }, WaitMs));
    settle();
    ASSERT_EQ(lostReports, 0);

    ASSERT_TRUE(
        wmctrl({QStringLiteral("-F"), QStringLiteral("-r"), QStringLiteral("frameLock PRO Video"),
                QStringLiteral("-b"), QStringLiteral("remove,fullscreen")}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player->FullScreenActive(); }, WaitMs));
    EXPECT_TRUE(owner.isVisible());
    EXPECT_EQ(service->messageDrain(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return backToNatural(); }, WaitMs))
        << "server geometry " << serverGeometry(id).x() << "," << serverGeometry(id).y() << " "
        << serverGeometry(id).width() << "x" << serverGeometry(id).height();
    settle();
    EXPECT_EQ(lostReports, 1);
    EXPECT_TRUE(player->MediaOpen());

    // The player can switch again after the loss.
    player->SetFullScreen(true);
    EXPECT_FALSE(owner.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return coversScreen(); }, WaitMs));
    settle();
    EXPECT_EQ(lostReports, 1);
    EXPECT_TRUE(player->FullScreenActive());
}

// Another part of the program leaving full screen through Qt: the window manager must be told
// (Qt would not, as it never asked for full screen itself) and the owner comes back.
TEST_F(GraphPlayerUnderWindowManager, LeavingFullScreenThroughQtReachesTheWindowManager) {
    player->SetFullScreen(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return coversScreen() && window->isFullScreen(); }, WaitMs));
    window->setWindowState(Qt::WindowNoState);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player->FullScreenActive(); }, WaitMs));
    EXPECT_TRUE(owner.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return backToNatural(); }, WaitMs));
    settle();
    EXPECT_EQ(lostReports, 1);
}

TEST_F(GraphPlayerUnderWindowManager, ClosingThroughTheWindowManagerClosesTheMedia) {
    ASSERT_TRUE(wmctrl(
        {QStringLiteral("-F"), QStringLiteral("-c"), QStringLiteral("frameLock PRO Video")}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player->MediaOpen(); }, WaitMs));
    EXPECT_EQ(closeReports, 1);
    EXPECT_EQ(videoWindow(), nullptr);
    EXPECT_TRUE(owner.isVisible());
    // The file stays in the box: the next Play opens it again, with a new window.
    player->PlayMedia();
    ASSERT_TRUE(player->MediaOpen());
    ASSERT_NE(videoWindow(), nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(videoWindow(), WaitMs));
}

// Alt+F4 on the full-screen video, in the program's own event loop: the owner is hidden, so
// the video window is the last one shown. Closing it must close the media and bring the owner
// back, and the loop must go on until the program itself ends it.
TEST_F(GraphPlayerUnderWindowManager, ClosingTheFullScreenWindowKeepsTheProgramRunning) {
    player->SetFullScreen(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return coversScreen(); }, WaitMs));
    ASSERT_FALSE(owner.isVisible());

    constexpr int EndedByTheTest = 42;
    constexpr int GaveUp = 43;
    bool closeAsked = false;
    bool ownerBackWhileRunning = false;
    QTimer::singleShot(0, [&] {
        closeAsked = wmctrl({QStringLiteral("-i"), QStringLiteral("-c"), hexId(id)});
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!player->MediaOpen() && owner.isVisible()) {
            ownerBackWhileRunning = true;
            QCoreApplication::exit(EndedByTheTest);
        }
    });
    watch.start(10);
    QTimer::singleShot(WaitMs, [] { QCoreApplication::exit(GaveUp); });
    const int result = QCoreApplication::exec();

    EXPECT_TRUE(closeAsked);
    EXPECT_EQ(result, EndedByTheTest) << "the event loop ended before the owner came back";
    EXPECT_TRUE(ownerBackWhileRunning);
    EXPECT_EQ(closeReports, 1);
    EXPECT_FALSE(player->FullScreenActive());
    EXPECT_EQ(videoWindow(), nullptr);
}

// Play with the full-screen box ticked on media not yet open: the window is shown and switched
// in one go, before the window manager has taken charge of it.
using FreshPlayerUnderWindowManager = GraphPlayerOnGstreamer;

TEST_F(FreshPlayerUnderWindowManager, FullScreenAskedRightAfterOpeningIsReached) {
    player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 100)));
    player->OpenMedia();
    player->SetFullScreen(true);
    VideoWindow* window = videoWindow();
    ASSERT_NE(window, nullptr);
    const WId id = window->winId();
    const QRect screen = window->screen()->geometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fullScreenState(id) && serverGeometry(id) == screen; },
                                WaitMs));
    EXPECT_FALSE(owner.isVisible());

    player->SetFullScreen(false);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !fullScreenState(id) && framed(id) &&
                   serverGeometry(id).size() == window->naturalSize();
        },
        WaitMs));
    EXPECT_TRUE(owner.isVisible());
}

}  // namespace

// The screen of an unattended show under a window manager (Openbox on a private Xvfb): the X
// screen saver is held off while media is open, the desktop's screen saver is asked over a
// private session bus, and the cursor hides over the full-screen video while the mouse rests.
// What the screen shows is read from the X server, not from the program.

#include "fake_desktop_screen_saver.h"
#include "player_on_gstreamer.h"
#include "support/log_capture.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <memory>

// After Qt: Xlib's macros (None, Bool, Status) would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/scrnsaver.h>

namespace {

constexpr int WaitMs = 15000;

struct CloseDisplay {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// A connection of the test's own to the X server, to read what it shows.
class XServer {
public:
    XServer() : display_(XOpenDisplay(nullptr)) {
        int event = 0;
        int error = 0;
        int major = 2;
        int minor = 0;
        fixes_ = display_ != nullptr && XFixesQueryExtension(display_.get(), &event, &error) &&
                 XFixesQueryVersion(display_.get(), &major, &minor) && major >= 2;
        saver_ = display_ != nullptr && XScreenSaverQueryExtension(display_.get(), &event, &error);
    }

    bool ready() const { return fixes_ && saver_; }

    // The server's screen saver: timeout in seconds, 0 turns it off.
    void setScreenSaverTimeout(int seconds) {
        XSetScreenSaver(display_.get(), seconds, 0, DefaultBlanking, DefaultExposures);
        XSync(display_.get(), False);
    }

    bool screenSaverOn() {
        std::unique_ptr<XScreenSaverInfo, int (*)(void*)> info(XScreenSaverAllocInfo(), XFree);
        XScreenSaverQueryInfo(display_.get(), DefaultRootWindow(display_.get()), info.get());
        return info->state == ScreenSaverOn;
    }

    // The cursor the server draws now; hidden when every pixel of it is transparent.
    bool cursorHidden() {
        std::unique_ptr<XFixesCursorImage, int (*)(void*)> image(
            XFixesGetCursorImage(display_.get()), XFree);
        if (image == nullptr) {
            return false;
        }
        const std::size_t pixels = std::size_t{image->width} * image->height;
        for (std::size_t i = 0; i < pixels; ++i) {
            if ((image->pixels[i] & 0xff000000UL) != 0) {
                return false;
            }
        }
        return true;
    }

    // Moves the pointer as a user would: the window under it gets the motion.
    void movePointerTo(QPoint position) {
        XWarpPointer(display_.get(), 0, DefaultRootWindow(display_.get()), 0, 0, 0, 0, position.x(),
                     position.y());
        XSync(display_.get(), False);
    }

private:
    std::unique_ptr<Display, CloseDisplay> display_;
    bool fixes_ = false;
    bool saver_ = false;
};

// True when `condition` held at every look over `ms` milliseconds, with the event loop running.
template <typename Condition>
bool holdsFor(int ms, Condition condition) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (!condition()) {
            return false;
        }
        QTest::qWait(50);
    }
    return condition();
}

// Every case runs against a session bus of its own, started before the first player, so that
// no desktop of the machine's is asked and the D-Bus path is reached only where a case puts a
// screen saver on that bus.
class ScreenOfAShow : public GraphPlayerOnGstreamer {
protected:
    static void SetUpTestSuite() {
        bus = std::make_unique<QProcess>();
        bus->start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
        if (bus->waitForStarted(WaitMs) &&
            QTest::qWaitFor([] { return bus->canReadLine(); }, WaitMs)) {
            busAddress = QString::fromLocal8Bit(bus->readLine()).trimmed();
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toLocal8Bit());
    }

    static void TearDownTestSuite() {
        bus->kill();
        bus->waitForFinished(WaitMs);
        bus.reset();
    }

    void SetUp() override {
        ASSERT_FALSE(busAddress.isEmpty()) << "dbus-daemon did not start";
        ASSERT_TRUE(x.ready()) << "no XFIXES 2 or MIT-SCREEN-SAVER on this display";
        player->setFileName(clipPath(clip(ClipFormat::MjpegAvi, 100)));
    }

    void TearDown() override { x.setScreenSaverTimeout(0); }

    void openMedia() {
        player->OpenMedia();
        ASSERT_TRUE(player->MediaOpen());
    }

    static inline std::unique_ptr<QProcess> bus;
    static inline QString busAddress;
    XServer x;
    // The media category logs which way held the screen saver off only while switched on, as an
    // installer switches it on.
    const LogCapture log{QStringLiteral("framelock.media*=true")};
};

TEST_F(ScreenOfAShow, XScreenSaverStaysOffWhileMediaIsOpenAndReturnsAfterItCloses) {
    // No screen saver answers on the bus: the X server's own is all there is, as in a kiosk.
    x.setScreenSaverTimeout(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return x.screenSaverOn(); }, WaitMs))
        << "the server's screen saver does not start here at all";

    // Opened on idle screens (a Slave told to open by its Master): the screen saver goes.
    openMedia();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !x.screenSaverOn(); }, WaitMs));
    EXPECT_TRUE(holdsFor(10000, [&] { return !x.screenSaverOn(); }));
    EXPECT_TRUE(log.contains(QStringLiteral("suspended (X screen-saver extension)")));
    EXPECT_TRUE(log.contains(QStringLiteral("no desktop screen saver answers")));

    player->CloseMedia();
    EXPECT_TRUE(QTest::qWaitFor([&] { return x.screenSaverOn(); }, WaitMs));

    // The program ends with media open.
    openMedia();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !x.screenSaverOn(); }, WaitMs));
    owner.player = nullptr;
    player.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return x.screenSaverOn(); }, WaitMs));
}

TEST_F(ScreenOfAShow, DesktopScreenSaverIsInhibitedOverTheSessionBusWhileMediaIsOpen) {
    QDBusConnection desktop = QDBusConnection::connectToBus(busAddress, QStringLiteral("desktop"));
    FakeDesktopScreenSaver saver;
    ASSERT_TRUE(desktop.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    openMedia();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return log.contains(QStringLiteral("over D-Bus")); }, WaitMs));
    ASSERT_EQ(saver.held.size(), 1u);
    // Held by the program's own session bus connection, so it ends when the program does.
    EXPECT_EQ(saver.held.begin()->second.sender, QDBusConnection::sessionBus().baseService());
    EXPECT_FALSE(saver.held.begin()->second.application.isEmpty());

    player->CloseMedia();
    EXPECT_TRUE(QTest::qWaitFor([&] { return saver.held.empty(); }, WaitMs));

    // The program ends while the desktop's answer is still on its way.
    openMedia();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saver.held.size() == 1; }, WaitMs));
    owner.player = nullptr;
    player.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return saver.held.empty(); }, WaitMs));
    EXPECT_EQ(saver.inhibitCalls, 2);
    EXPECT_EQ(saver.unknownCookies, 0);

    desktop.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
}

TEST_F(ScreenOfAShow, CursorHidesOverTheFullScreenVideoWhileTheMouseRestsOnly) {
    openMedia();
    VideoWindow* window = videoWindow();
    ASSERT_NE(window, nullptr);
    // Full screen asked for before the window manager has framed the window can end up at the
    // window's old place; that race is not what this case is about.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window, WaitMs));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->frameGeometry() != window->geometry(); }, WaitMs));
    player->SetFullScreen(true);
    const QRect screen = window->screen()->geometry();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->geometry() == screen; }, WaitMs))
        << "at " << window->geometry().x() << "," << window->geometry().y();

    x.movePointerTo(screen.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return x.cursorHidden(); }, WaitMs));

    x.movePointerTo(screen.center() + QPoint(40, 30));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !x.cursorHidden(); }, WaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return x.cursorHidden(); }, WaitMs))
        << "the cursor did not hide again once the mouse rested";

    // Back to the main window: its cursor stays, however long the mouse rests on it.
    player->SetFullScreen(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner, WaitMs));
    x.movePointerTo(owner.geometry().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.underMouse(); }, WaitMs));
    EXPECT_TRUE(holdsFor(3000, [&] { return !x.cursorHidden(); }));
}

}  // namespace

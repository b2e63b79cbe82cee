// The window's own part in the link: its lamps, its server's retry, the splash that waits for
// the Master's first word and the box of a Slave whose file fails. What the links and the
// controller do with the commands is tested on them (sync_link_test, show_controller_test).
#include "media/fake_media_service.h"
#include "media/graph_player.h"
#include "net/loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "serial/pty_pair.h"
#include "widgets/gui/splash_window.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QTimer>

namespace {

// Every frame sent, passed on and received lights its lamp; a burst of frames does not keep
// them lit, so the operator sees each burst as one flash.
TEST(WindowProtocol, EachLampLightsForItsTrafficAndABurstDoesNotKeepItLit) {
    PtyPair one, two;
    ASSERT_TRUE(one.ok() && two.ok());
    WindowSettings settings;
    settings.more = {
        QStringLiteral("rbCom_Checked=True"),      QStringLiteral("rbLan_Checked=False"),
        QStringLiteral("cbRepeat_Checked=True"),   QStringLiteral("ComportsNr_ktInteger1=1"),
        QStringLiteral("ComportsNr_ktInteger2=2"), QStringLiteral("[Ports]"),
        QStringLiteral("COM1=") + one.slavePath(), QStringLiteral("COM2=") + two.slavePath()};
    WindowHarness h(settings.text());
    h.show();
    ASSERT_TRUE(h.window().ComPort1->Connected() && h.window().ComPort2->Connected());
    Ui::TfFrameLock& ui = h.ui();

    // A lamp time no loaded machine outlasts, kept to the millisecond, so that a restart shows
    // as time given back.
    QTimer& lampTime = *h.window().ledtimer;
    lampTime.setInterval(600000);
    lampTime.setTimerType(Qt::PreciseTimer);
    h.window().SendCommand("Play");
    const int remaining = lampTime.remainingTime();
    ASSERT_TRUE(waitFor([&] { return lampTime.remainingTime() < remaining; }));
    for (int i = 0; i < 9; ++i) {
        h.window().SendCommand("Stop");
    }
    EXPECT_TRUE(ui.masterled->Value());
    EXPECT_TRUE(ui.thruled->Value());
    EXPECT_FALSE(ui.slaveled->Value());
    EXPECT_LT(lampTime.remainingTime(), remaining);

    one.writeMaster("_Rep0*");
    ASSERT_TRUE(waitFor([&] { return !ui.cbRepeat->isChecked(); }));
    EXPECT_TRUE(ui.slaveled->Value());
    lampTime.setInterval(1);
    EXPECT_TRUE(waitFor(
        [&] { return !ui.masterled->Value() && !ui.thruled->Value() && !ui.slaveled->Value(); }));
}

// Another program holds the Master's port: the status box says so, the operator hears it, and
// the server is tried again (each failure beeps) until it listens, then no more.
TEST(WindowProtocol, AMasterWhoseServerCannotListenSaysSoAndRetriesUntilItCan) {
    TSimpleTCPServer other;
    other.setPort(0);
    other.setListen(true);
    WindowSettings settings;
    settings.port = boundPort(other);
    WindowHarness h(settings.text());
    h.window().ClientStatusTimer->setInterval(50);
    h.show();
    EXPECT_FALSE(h.window().Server->Listen());
    EXPECT_EQ(h.ui().eServerStatus->text(),
              QStringLiteral("Address already in use: port %1 is in use by another program")
                  .arg(settings.port));
    EXPECT_EQ(h.dialogs.beeps.size(), 1u);
    ASSERT_TRUE(waitFor([&] { return h.dialogs.beeps.size() >= 2; }));
    other.setListen(false);
    ASSERT_TRUE(waitFor([&] { return h.window().Server->Listen(); }));
    const std::size_t beeps = h.dialogs.beeps.size();
    // Four retry intervals: a retry still running would have failed and beeped by now.
    settle(4 * h.window().ClientStatusTimer->interval());
    EXPECT_EQ(h.dialogs.beeps.size(), beeps);
    EXPECT_TRUE(h.window().Server->Listen());
}

// The splash waits for the Master's first word; a command that arrives takes it away.
TEST(WindowProtocol, AReceivedCommandClosesTheSplash) {
    WindowSettings settings;
    settings.port = freePort();
    settings.splash = true;
    settings.file.clear();
    WindowHarness h(settings.text());
    h.window().CountdownTimer->setInterval(10);
    bool upBefore = false;
    bool upAfter = true;
    // The splash runs its own event loop; this looks in from there once it is up.
    QTimer inside;
    inside.setInterval(5);
    QObject::connect(&inside, &QTimer::timeout, [&] {
        if (!h.window().splashShowing()) {
            return;
        }
        inside.stop();
        upBefore = h.window().splash()->isVisible();
        h.window().DispatchCommand("Nope");
        upAfter = h.window().splash()->isVisible();
    });
    inside.start();
    h.show();
    ASSERT_TRUE(waitFor([&] { return !inside.isActive() && !h.window().splashShowing(); }));
    EXPECT_TRUE(upBefore);
    EXPECT_FALSE(upAfter);
}

// "Play" on a file that cannot be opened asks nobody on an unattended Slave: its box waits for
// no click, so the command behind it runs at once.
TEST(WindowProtocol, ASlavesFailedFileHoldsNoCommandBack) {
    RawPeer master = RawPeer::listenOn();
    WindowSettings settings;
    settings.master = false;
    settings.port = master.localPort();
    settings.more = {QStringLiteral("cbRepeat_Checked=False")};
    WindowHarness h(settings.text());
    h.show();
    RawPeer link = master.accept();
    ASSERT_TRUE(waitFor([&] { return h.window().Client->Connected(); }));
    ASSERT_FALSE(h.ui().cbRepeat->isChecked());
    h.window().player().CloseMedia();
    h.media().config.render = false;
    link.send("_Play*_Rep1*");
    ASSERT_TRUE(waitFor([&] { return h.ui().cbRepeat->isChecked(); }));
    EXPECT_TRUE(waitFor([&] { return h.dialogs.notices.size() == 1u; }));
    EXPECT_TRUE(h.dialogs.messages.empty());
}

}  // namespace

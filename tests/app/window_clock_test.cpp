// The shared clock as the windows report it, on real GStreamer. What the controller does with
// the clock is tested on it (show_controller_test), the clock's two ends in net_clock_test.
#include "app/sync_command.h"
#include "media/graph_player.h"
#include "media/gst/gst_media_service.h"
#include "net/loopback.h"
#include "net/simple_tcp_client.h"
#include "ui_fFrameLock.h"
#include "window_harness.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::unique_ptr<MediaService> realMedia() {
    return std::make_unique<GstMediaService>();
}

WindowSettings onClockPort(bool master, quint16 port, quint16 clockPort) {
    WindowSettings settings;
    settings.master = master;
    settings.port = port;
    settings.file.clear();
    settings.more = {QStringLiteral("SharedClock_Port=%1").arg(clockPort)};
    return settings;
}

// A port another program took before the Master came: the status box names the port and why,
// and the Master keeps trying until it has it, then says it is ready again.
TEST(WindowClock, AClockPortTakenByAnotherProgramIsReportedAndTriedAgain) {
    const int taker = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(taker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(taker, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ASSERT_EQ(bind(taker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    getsockname(taker, reinterpret_cast<sockaddr*>(&address), &size);
    const quint16 clockPort = ntohs(address.sin_port);

    WindowHarness h(onClockPort(true, freePort(), clockPort).text(), QString(), realMedia);
    h.show();
    const QString taken =
        QStringLiteral("Shared clock not published: UDP %1 (Address already in use)")
            .arg(clockPort);
    ASSERT_TRUE(waitFor([&] { return h.ui().eServerStatus->text() == taken; }, 10000))
        << h.ui().eServerStatus->text().toStdString();
    close(taker);
    EXPECT_TRUE(waitFor(
        [&] {
            return h.ui().eServerStatus->text() ==
                   QStringLiteral("Server ready, waiting for Slaves");
        },
        20000))
        << h.ui().eServerStatus->text().toStdString();
    EXPECT_TRUE(h.window().player().SharedClock().shared);
}

// A Master named by a host name that only the link's own lookup knows: the Slave's clock asks
// the address that lookup found, and settles. A start announced 600 s from the Slave's shared
// time says the Master's clock is no longer the one the Slave learnt: the status box says the
// clock was dropped until the new one settles, and then names the Master again.
TEST(WindowClock, ASlaveFollowsTheClockItsLinkFoundAndSaysWhenItLearnsItAnew) {
    const quint16 port = freePort();
    WindowHarness master(onClockPort(true, port, port).text(), QString(), realMedia);
    WindowSettings slaveSettings = onClockPort(false, port, port);
    slaveSettings.more << QStringLiteral("eSlaveIP_Text=master.show.invalid");
    WindowHarness slave(slaveSettings.text(), QString(), realMedia);
    slave.window().Client->SetNameResolver([](const QByteArray& name, in_addr& address) {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return name == "master.show.invalid";
    });
    master.show();
    slave.show();
    ASSERT_TRUE(waitFor([&] { return slave.window().player().SharedClock().settled; }, 20000))
        << slave.ui().eClientStatus->text().toStdString();

    const std::int64_t now = slave.window().player().SharedClock().nowNs;
    slave.window().DispatchCommand(SyncCommand::startAt(now + 600'000'000'000));
    EXPECT_FALSE(slave.window().player().SharedClock().settled);
    EXPECT_TRUE(slave.ui().eClientStatus->text().startsWith(
        QStringLiteral("Shared clock dropped, own clock until a new one settles: a start "
                       "announced ")))
        << slave.ui().eClientStatus->text().toStdString();
    EXPECT_TRUE(waitFor([&] { return slave.window().player().SharedClock().settled; }, 20000));
    EXPECT_TRUE(waitFor(
        [&] {
            return slave.ui().eClientStatus->text() == QStringLiteral("Connected to the Master");
        },
        5000))
        << slave.ui().eClientStatus->text().toStdString();
}

}  // namespace

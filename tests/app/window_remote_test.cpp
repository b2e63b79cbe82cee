// The window's remote layer: served by a LAN Master only, with a token the settings file holds
// from the start, running the window's own operations.
#include "http_probe.h"
#include "net/loopback.h"
#include "storage/profile_file.h"
#include "window_harness.h"

#include <gtest/gtest.h>

namespace {

QByteArray lanMaster(quint16 serverPort, quint16 httpPort) {
    WindowSettings settings;
    settings.port = serverPort;
    settings.more = {QStringLiteral("rbLan_Checked=True"), QStringLiteral("rbCom_Checked=False"),
                     QStringLiteral("Remote_HttpPort=%1").arg(httpPort)};
    return settings.text();
}

TEST(WindowRemote, ALanMasterServesWithATokenKeptAtOnceAndASlaveServesNothing) {
    const quint16 serverPort = freePort();
    const quint16 httpPort = freePort();
    WindowHarness h(lanMaster(serverPort, httpPort));
    h.show();
    // In the file before the window ever closes: a crash must not lose it.
    const QByteArray token = readProfileFile(h.programDir() + QStringLiteral("frameLock.ini"))
                                 .readString("System", "Remote_Token", "");
    ASSERT_EQ(token.size(), 32);

    const HttpAnswer show = httpExchange(httpPort, httpRequest("GET", "/api/v1/show"));
    ASSERT_EQ(show.status, 200);
    EXPECT_TRUE(show.json().value("master").toBool());

    WireTap slave(serverPort);
    ASSERT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));
    const QByteArray auth = "Authorization: Bearer " + token + "\r\n";
    EXPECT_EQ(httpExchange(httpPort, httpRequest("POST", "/api/v1/operations/start", auth)).status,
              200);
    EXPECT_TRUE(waitFor([&] { return slave.commands().contains(QStringLiteral("Play")); }, 10000))
        << slave.commands().join(u' ').toStdString();

    h.ui().rbSlave->click();
    EXPECT_EQ(httpExchange(httpPort, httpRequest("GET", "/api/v1/show")).status, 0);
    h.ui().rbMaster->click();
    EXPECT_EQ(httpExchange(httpPort, httpRequest("POST", "/api/v1/operations/stop", auth)).status,
              200);
    h.close();
    EXPECT_EQ(readProfileFile(h.programDir() + QStringLiteral("frameLock.ini"))
                  .readString("System", "Remote_Token", ""),
              token);
}

}  // namespace

#include <gtest/gtest.h>

#include "loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "support/process_resources.h"

#include <vector>

// Weeks of unattended running: the Master opens and closes its server with Slaves attached, and
// a Slave retries a Master that is down every two seconds. Each cycle must give back every
// descriptor it took.

namespace {

struct Baseline {
    int descriptors = ProcessResources::openDescriptors();
    int threads = ProcessResources::threads();
};

}  // namespace

TEST(NetSoak, ServerListenCyclesWithSlavesAttachedGiveBackEveryDescriptor) {
    TSimpleTCPServer server;
    int connected = 0;
    int errors = 0;
    server.OnClientConnected = [&](QObject*, TSimpleTCPClient*) { ++connected; };
    server.OnError = [&](QObject*, qint32, qint32, const QString&) { ++errors; };
    TSimpleTCPClient slave;
    slave.OnError = [&](QObject*, qint32, qint32, const QString&) {};
    slave.setHost(QStringLiteral("127.0.0.1"));

    const auto cycle = [&] {
        server.setListen(true);
        ASSERT_TRUE(server.Listen());
        const quint16 port = boundPort(server);
        slave.setPort(port);
        slave.setConnected(true);
        RawPeer raw = RawPeer::connectTo(port);
        const int expected = connected + 2;
        ASSERT_TRUE(waitFor([&] { return connected == expected; }));
        server.SendToAll("_Stop*", 6);
        server.setListen(false);
        slave.setConnected(false);
    };
    // The first cycle sets up what lasts as long as the components do.
    cycle();
    const Baseline before;
    for (int count = 0; count < 500 && !testing::Test::HasFatalFailure(); ++count) {
        cycle();
    }
    settle(20);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(ProcessResources::openDescriptors(), before.descriptors);
    EXPECT_EQ(ProcessResources::threads(), before.threads);
}

TEST(NetSoak, RetryingAMasterThatIsDownGivesBackEveryDescriptor) {
    TSimpleTCPClient slave;
    std::vector<int> codes;
    slave.OnError = [&](QObject*, qint32, qint32 code, const QString&) { codes.push_back(code); };
    slave.setHost(QStringLiteral("127.0.0.1"));
    slave.setPort(freePort());

    const auto attempt = [&] {
        const std::size_t expected = codes.size() + 1;
        slave.setConnected(true);
        ASSERT_TRUE(waitFor([&] { return codes.size() == expected; }));
        EXPECT_EQ(codes.back(), 10061);
        // A failed attempt keeps its socket until the owner's retry sets Connected false.
        EXPECT_TRUE(slave.Connected());
        slave.setConnected(false);
    };
    attempt();
    const Baseline before;
    for (int count = 0; count < 500 && !testing::Test::HasFatalFailure(); ++count) {
        attempt();
    }
    EXPECT_EQ(ProcessResources::openDescriptors(), before.descriptors);
    EXPECT_EQ(ProcessResources::threads(), before.threads);
}

TEST(NetSoak, SlavesThatReconnectLeaveNoDeadConnectionsOnTheMaster) {
    TSimpleTCPServer server;
    std::vector<int> codes;
    int connected = 0;
    int disconnected = 0;
    server.OnError = [&](QObject*, qint32, qint32 code, const QString&) { codes.push_back(code); };
    server.OnClientConnected = [&](QObject*, TSimpleTCPClient*) { ++connected; };
    server.OnClientDisconnected = [&](QObject*, TSimpleTCPClient*) { ++disconnected; };
    server.setListen(true);
    TSimpleTCPClient slave;
    slave.OnError = [&](QObject*, qint32, qint32, const QString&) {};
    slave.setHost(QStringLiteral("127.0.0.1"));
    slave.setPort(boundPort(server));

    // A Slave's close is abortive: the Master sees each old connection end with a reset, which
    // is how Slaves leave, not a failure; an owner restarting the server on errors would cut
    // every other Slave at each reconnect.
    const auto reconnect = [&] {
        const int expected = connected + 1;
        slave.setConnected(true);
        ASSERT_TRUE(waitFor([&] { return connected == expected; }));
        slave.setConnected(false);
        ASSERT_TRUE(waitFor([&] { return disconnected == expected; }));
    };
    reconnect();
    const Baseline before;
    for (int count = 0; count < 300 && !testing::Test::HasFatalFailure(); ++count) {
        reconnect();
    }
    EXPECT_TRUE(server.Clients().isEmpty());
    EXPECT_EQ(disconnected, connected);
    EXPECT_TRUE(codes.empty()) << codes.size() << " errors, the first " << codes.front();
    EXPECT_EQ(ProcessResources::openDescriptors(), before.descriptors);
}

#include <gtest/gtest.h>

#include "loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

#include <QVariant>
#include <cerrno>

namespace {

class ClientTest : public testing::Test {
protected:
    void SetUp() override {
        client.setObjectName(QStringLiteral("Client"));
        client.OnError = [this](QObject* sender, qint32 socket, qint32 code, const QString& text) {
            EXPECT_EQ(sender, &client);
            errors.push_back({socket, code, text});
        };
        client.OnConnected = [this](QObject*) { ++connects; };
        client.OnDisconnected = [this](QObject* sender) {
            EXPECT_EQ(sender, &client);
            EXPECT_FALSE(client.Connected());
            ++disconnects;
        };
        client.OnRead = [this](QObject*, const char* buffer, qint32 length) {
            EXPECT_EQ(buffer[length], '\0');
            received.append(buffer, length);
            ++reads;
        };
    }

    void connectTo(quint16 port) {
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setConnected(true);
        EXPECT_TRUE(client.Connected());
    }

    TSimpleTCPClient client;
    std::vector<ErrorRecord> errors;
    int connects = 0;
    int disconnects = 0;
    int reads = 0;
    QByteArray received;
};

TEST_F(ClientTest, ConnectsReadsSendsAndSeesThePeerClose) {
    RawPeer master = RawPeer::listenOn();
    connectTo(master.localPort());
    RawPeer slaveEnd = master.accept();
    ASSERT_TRUE(waitFor([&] { return connects == 1; }));

    slaveEnd.send("_Play*_Stop*");
    ASSERT_TRUE(waitFor([&] { return received.size() == 12; }));
    EXPECT_EQ(received, QByteArray("_Play*_Stop*"));

    EXPECT_EQ(client.Send("_Rewi*", 6), 6);
    EXPECT_EQ(slaveEnd.readExactly(6), QByteArray("_Rewi*"));

    std::size_t errorsAtDisconnect = 99;
    client.OnDisconnected = [&](QObject*) {
        ++disconnects;
        errorsAtDisconnect = errors.size();
    };
    const int socket = client.socketHandle();
    slaveEnd.close();
    ASSERT_TRUE(waitFor([&] { return !errors.empty(); }));
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(errorsAtDisconnect, 0u);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.socketHandle(), -1);
    // A Master that ends the link is reported like any other loss, so that an owner retrying
    // on errors brings the Slave back once the Master is up again.
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 10057);
    EXPECT_EQ(errors[0].text, QStringLiteral("Socket is not connected"));
    EXPECT_EQ(errors[0].socket, socket);
}

TEST_F(ClientTest, BytesSentWhileTheConnectionIsUnderWayGoOutOnceItIsMade) {
    TSimpleTCPServer server;
    server.setListen(true);
    QByteArray atServer;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char* buffer, qint32 length) {
        atServer.append(buffer, length);
    };
    connectTo(boundPort(server));
    EXPECT_EQ(client.Send("_ClLi*", 6), 6);
    EXPECT_EQ(client.Send("_SeLi250*", 9), 9);
    ASSERT_TRUE(waitFor([&] { return atServer.size() == 15; }));
    EXPECT_EQ(atServer, QByteArray("_ClLi*_SeLi250*"));

    server.SendToAll("_Play*", 6);
    ASSERT_TRUE(waitFor([&] { return received.size() == 6; }));
    EXPECT_EQ(received, QByteArray("_Play*"));
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ClientTest, AFullChunkFollowedByNothingIsDeliveredWithoutAnError) {
    RawPeer master = RawPeer::listenOn();
    connectTo(master.localPort());
    RawPeer slaveEnd = master.accept();
    ASSERT_TRUE(waitFor([&] { return connects == 1; }));
    const QByteArray chunk(8193, 'x');
    slaveEnd.send(chunk);
    ASSERT_TRUE(waitFor([&] { return received.size() == chunk.size(); }));
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(received, chunk);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ClientTest, ANameThatDoesNotResolveIsABadAddress) {
    client.setHost(QStringLiteral("no-such-host.invalid"));
    client.setPort(8234);
    client.setConnected(true);
    EXPECT_FALSE(client.Connected());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].socket, -1);
    EXPECT_EQ(errors[0].code, 10014);
    EXPECT_EQ(errors[0].text, QStringLiteral("Bad address"));
}

TEST_F(ClientTest, AHostNameIsLookedUp) {
    RawPeer master = RawPeer::listenOn();
    client.setHost(QStringLiteral("localhost"));
    client.setPort(master.localPort());
    client.setConnected(true);
    RawPeer slaveEnd = master.accept();
    EXPECT_TRUE(waitFor([&] { return connects == 1; }));
    EXPECT_TRUE(errors.empty());
}

TEST_F(ClientTest, ARefusedConnectionIsReportedLaterAndConnectedStaysTrue) {
    connectTo(unusedPort());
    EXPECT_TRUE(errors.empty());
    ASSERT_TRUE(waitFor([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0].code, 10061);
    EXPECT_EQ(errors[0].text, QStringLiteral("Connection refused"));
    EXPECT_EQ(errors[0].socket, client.socketHandle());
    settle();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(connects, 0);
    EXPECT_TRUE(client.Connected());
    // The owner closes it before it tries again.
    client.setConnected(false);
    EXPECT_EQ(client.socketHandle(), -1);
}

TEST_F(ClientTest, SendWithoutASocketSendsNothing) {
    EXPECT_EQ(client.Send("_Play*", 6), 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ClientTest, HostAndPortChangesWhileConnectedNeedPermission) {
    RawPeer master = RawPeer::listenOn();
    connectTo(master.localPort());
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(master.localPort());
    EXPECT_TRUE(client.Connected());

    EXPECT_THROW(client.setHost(QStringLiteral("127.0.0.2")), ESocketError);
    EXPECT_EQ(client.Host(), QStringLiteral("127.0.0.1"));
    try {
        client.setPort(master.localPort() + 1);
        ADD_FAILURE();
    } catch (const ESocketError& failure) {
        EXPECT_STREQ(failure.what(), "Can not change Port while connected");
    }
    EXPECT_EQ(client.Port(), master.localPort());

    RawPeer other = RawPeer::listenOn();
    client.setAllowChangeHostAndPortOnConnection(true);
    client.setPort(other.localPort());
    EXPECT_TRUE(client.Connected());
    RawPeer otherEnd = other.accept();
    EXPECT_TRUE(waitFor([&] { return connects >= 1; }));
    EXPECT_TRUE(errors.empty());
}

TEST_F(ClientTest, ClosingIsAbortive) {
    RawPeer master = RawPeer::listenOn();
    connectTo(master.localPort());
    RawPeer slaveEnd = master.accept();
    ASSERT_TRUE(waitFor([&] { return connects == 1; }));
    client.setConnected(false);
    EXPECT_EQ(slaveEnd.waitForEnd(), ECONNRESET);
    EXPECT_EQ(disconnects, 0);
}

TEST_F(ClientTest, PublishedPropertiesAreReachableByName) {
    EXPECT_TRUE(client.setProperty("Host", QStringLiteral("192.168.1.20")));
    EXPECT_TRUE(client.setProperty("Port", 8234));
    EXPECT_EQ(client.Host(), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(client.Port(), 8234);
    EXPECT_EQ(client.property("Connected").toBool(), false);
    EXPECT_NE(client.metaObject()->indexOfProperty("AllowChangeHostAndPortOnConnection"), -1);
}

}  // namespace

#include <gtest/gtest.h>

#include "loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <QVariant>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>

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

TEST_F(ClientTest, ANameThatDoesNotResolveIsABadAddressOnceTheAnswerComes) {
    client.SetNameResolver([](const QByteArray&, in_addr&) { return false; });
    client.setHost(QStringLiteral("no-such-host.invalid"));
    client.setPort(8234);
    client.setConnected(true);
    ASSERT_TRUE(waitFor([&] { return !errors.empty(); }));
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
    ASSERT_TRUE(waitFor([&] { return client.socketHandle() >= 0; }));
    RawPeer slaveEnd = master.accept();
    EXPECT_TRUE(waitFor([&] { return connects == 1; }));
    EXPECT_TRUE(errors.empty());
}

// A name server that answers only when the test lets it, long after the caller moved on.
class SilentNameServer {
public:
    HostLookup::Resolver resolver() {
        return [state = state_](const QByteArray&, in_addr& address) {
            std::unique_lock lock(state->mutex);
            ++state->asked;
            state->changed.wait(lock, [&] { return state->answering; });
            address.s_addr = htonl(INADDR_LOOPBACK);
            ++state->answered;
            state->changed.notify_all();
            return true;
        };
    }
    int asked() const {
        const std::lock_guard lock(state_->mutex);
        return state_->asked;
    }
    int answered() const {
        const std::lock_guard lock(state_->mutex);
        return state_->answered;
    }
    // Lets every waiting lookup answer and waits until they have.
    void answer() {
        std::unique_lock lock(state_->mutex);
        state_->answering = true;
        state_->changed.notify_all();
        state_->changed.wait(lock, [&] { return state_->answered == state_->asked; });
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        int asked = 0;
        int answered = 0;
        bool answering = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST_F(ClientTest, ASilentNameServerHoldsNothingUpAndItsLateAnswerIsDropped) {
    SilentNameServer dns;
    RawPeer master = RawPeer::listenOn();
    client.SetNameResolver(dns.resolver());
    client.setHost(QStringLiteral("master.show"));
    client.setPort(master.localPort());
    // The owner's retries ask for the same name again and again while the first lookup hangs.
    for (int retry = 0; retry < 5; ++retry) {
        client.setConnected(false);
        client.setConnected(true);
        EXPECT_TRUE(client.Connected());
    }
    ASSERT_TRUE(waitFor([&] { return dns.asked() == 1; }));
    settle(50);
    EXPECT_EQ(dns.asked(), 1);

    // The operator types the address instead; the name's answer, when it comes, is stale.
    client.setConnected(false);
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setConnected(true);
    RawPeer slaveEnd = master.accept();
    ASSERT_TRUE(waitFor([&] { return connects == 1; }));
    const int socket = client.socketHandle();
    dns.answer();
    settle(100);
    EXPECT_EQ(client.socketHandle(), socket);
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(errors.empty());

    // A client that goes away (the program ending) does not wait for its lookup, and the answer
    // that comes after it connects nothing.
    SilentNameServer silent;
    RawPeer otherMaster = RawPeer::listenOn();
    {
        TSimpleTCPClient leaving;
        leaving.SetNameResolver(silent.resolver());
        leaving.setHost(QStringLiteral("master.show"));
        leaving.setPort(otherMaster.localPort());
        leaving.setConnected(true);
        ASSERT_TRUE(waitFor([&] { return silent.asked() == 1; }));
    }
    EXPECT_EQ(silent.answered(), 0);
    silent.answer();
    // The answer comes back through the event loop's next pass.
    settle(100);
    pollfd pending{otherMaster.fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&pending, 1, 0), 0);
}

TEST_F(ClientTest, ARefusedConnectionIsReportedLaterAndConnectedStaysTrue) {
    connectTo(freePort());
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

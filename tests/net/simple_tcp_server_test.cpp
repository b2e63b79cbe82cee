#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "loopback.h"
#include "net/command_host_list.h"
#include "net/descriptor_limit.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QPointer>
#include <QRegularExpression>
#include <QVariant>
#include <algorithm>
#include <cerrno>

namespace {

class ServerTest : public testing::Test {
protected:
    void SetUp() override {
        server.setObjectName(QStringLiteral("Server"));
        server.OnError = [this](QObject* sender, qint32 socket, qint32 code, const QString& text) {
            EXPECT_EQ(sender, &server);
            errors.push_back({socket, code, text});
        };
    }

    // Listens on a port the kernel picks.
    quint16 listen() {
        server.setListen(true);
        EXPECT_TRUE(server.Listen());
        return boundPort(server);
    }

    RawPeer connectAndAccept(quint16 port) {
        const auto before = server.Clients().size();
        RawPeer peer = RawPeer::connectTo(port);
        EXPECT_TRUE(waitFor([&] { return server.Clients().size() == before + 1; }));
        return peer;
    }

    quint16 peerPortOf(const TSimpleTCPClient* connection) const {
        sockaddr_in address{};
        socklen_t length = sizeof(address);
        ::getpeername(connection->socketHandle(), reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }

    TSimpleTCPServer server;
    std::vector<ErrorRecord> errors;
};

TEST_F(ServerTest, ListeningTwiceOrStoppingTwiceChangesNothing) {
    server.setListen(false);
    EXPECT_FALSE(server.Listen());
    const quint16 port = listen();
    const int socket = server.socketHandle();
    server.setListen(true);
    EXPECT_EQ(server.socketHandle(), socket);
    EXPECT_EQ(boundPort(server), port);
    server.setListen(false);
    EXPECT_FALSE(server.Listen());
    EXPECT_EQ(server.socketHandle(), -1);
    server.setListen(false);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ServerTest, APortInUseIsReportedAndListenStaysFalse) {
    RawPeer other = RawPeer::listenOn();
    server.setPort(other.localPort());
    server.setListen(true);
    EXPECT_FALSE(server.Listen());
    EXPECT_EQ(server.socketHandle(), -1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 10048);
    EXPECT_EQ(errors[0].text, QStringLiteral("Address already in use"));

    server.OnError = nullptr;
    EXPECT_THROW(server.setListen(true), ESocketError);
    EXPECT_FALSE(server.Listen());
}

TEST_F(ServerTest, ListensAgainWhileOldConnectionsOfThePortLingerInTimeWait) {
    // A Master that was killed leaves its connections, closed by the kernel, in TIME_WAIT.
    RawPeer previous = RawPeer::listenOn(true);
    const quint16 port = previous.localPort();
    {
        RawPeer slave = RawPeer::connectTo(port);
        RawPeer masterEnd = previous.accept();
        masterEnd.close();
        EXPECT_EQ(slave.waitForEnd(), 0);
    }
    previous.close();
    server.setPort(port);
    server.setListen(true);
    EXPECT_TRUE(server.Listen());
    EXPECT_TRUE(errors.empty());
}

TEST_F(ServerTest, ChangingThePortWhileListeningNeedsPermission) {
    const quint16 first = freePort();
    server.setPort(first);
    listen();
    EXPECT_THAT([&] { server.setPort(first + 1); },
                testing::ThrowsMessage<ESocketError>(
                    testing::StrEq("Can not change Port while listening")));
    EXPECT_EQ(server.Port(), first);

    server.setPort(first);
    const quint16 second = freePort();
    server.setAllowChangeHostAndPortOnConnection(true);
    server.setPort(second);
    EXPECT_TRUE(server.Listen());
    EXPECT_EQ(boundPort(server), second);
}

TEST_F(ServerTest, AConnectionIsListedWithThePeersAddressAndTheServersPort) {
    const quint16 port = listen();
    int connectedEvents = 0;
    server.OnClientConnected = [&](QObject* sender, TSimpleTCPClient* client) {
        ++connectedEvents;
        EXPECT_EQ(sender, &server);
        EXPECT_TRUE(server.Clients().contains(client));
        EXPECT_EQ(client->Host(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(client->Port(), port);
        EXPECT_TRUE(client->Connected());
    };
    RawPeer peer = connectAndAccept(port);
    settle(50);
    EXPECT_EQ(connectedEvents, 1);
    ASSERT_EQ(server.Clients().size(), 1);
    EXPECT_EQ(peerPortOf(server.Clients()[0]), peer.localPort());
}

TEST_F(ServerTest, ADisconnectingPeerHasLeftTheListBeforeTheEventAndIsDestroyedAfter) {
    const quint16 port = listen();
    RawPeer staying = connectAndAccept(port);
    RawPeer leaving = connectAndAccept(port);
    QPointer<TSimpleTCPClient> leavingConnection = server.Clients()[1];
    QList<TSimpleTCPClient*> listDuringEvent;
    int events = 0;
    server.OnClientDisconnected = [&](QObject*, TSimpleTCPClient* client) {
        ++events;
        EXPECT_EQ(client, leavingConnection.data());
        EXPECT_EQ(client->Host(), QStringLiteral("127.0.0.1"));
        listDuringEvent = server.Clients();
    };
    leaving.close();
    ASSERT_TRUE(waitFor([&] { return events == 1; }));
    EXPECT_EQ(listDuringEvent.size(), 1);
    EXPECT_FALSE(listDuringEvent.contains(leavingConnection.data()));
    EXPECT_TRUE(leavingConnection.isNull());
    EXPECT_TRUE(errors.empty());
}

TEST_F(ServerTest, SlavesConnectingAllAtOnceAreAllAccepted) {
    const quint16 port = listen();
    std::vector<RawPeer> peers;
    for (int i = 0; i < 100; ++i) {
        peers.push_back(RawPeer::startConnect(port));
    }
    // With a short backlog the kernel would complete these handshakes and then drop the
    // connections before they are accepted.
    EXPECT_TRUE(waitFor([&] { return server.Clients().size() == 100; })) << server.Clients().size();
}

// Lowers the soft limit on open files for a scope, so that `room` more descriptors fit.
class DescriptorRoom {
public:
    explicit DescriptorRoom(int room) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit tight = saved_;
        tight.rlim_cur = static_cast<rlim_t>(lowestFree + room);
        ok_ = ::setrlimit(RLIMIT_NOFILE, &tight) == 0;
    }
    ~DescriptorRoom() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    DescriptorRoom(const DescriptorRoom&) = delete;
    DescriptorRoom& operator=(const DescriptorRoom&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

TEST_F(ServerTest, WithNoDescriptorLeftAWaitingPeerIsToldAtOnceAndTheShortageReportedOnce) {
    const quint16 port = listen();
    std::vector<RawPeer> peers;
    for (int i = 0; i < 3; ++i) {
        peers.push_back(RawPeer::from("127.0.0.1"));
    }
    {
        const DescriptorRoom none(0);
        ASSERT_TRUE(none.ok());
        for (const RawPeer& peer : peers) {
            peer.connect(port);
        }
        // Left in the backlog, a Slave would believe itself connected and hear nothing.
        for (const RawPeer& peer : peers) {
            EXPECT_EQ(peer.waitForEnd(), ECONNRESET);
        }
        // A second report of the shortage would have come with one of the connections above.
        settle(300);
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 10024);
    EXPECT_EQ(errors[0].text, QStringLiteral("Too many open files"));
    EXPECT_TRUE(server.Clients().isEmpty());
    RawPeer later = connectAndAccept(port);
    EXPECT_TRUE(server.Listen());
}

QStringList netWarnings;

void keepNetWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && context.category &&
        QByteArrayView(context.category) == "framelock.net") {
        netWarnings << message;
    }
}

// Every attempt of a host that tries again and again while no descriptor is left is closed;
// the log hears of them as a few lines a second, every attempt counted.
TEST_F(ServerTest, WithNoDescriptorLeftAHostTryingAgainAndAgainCostsTheLogAFewLinesASecond) {
    const quint16 port = listen();
    constexpr int Attempts = 60;
    std::vector<RawPeer> peers;
    for (int i = 0; i < Attempts; ++i) {
        peers.push_back(RawPeer::from("127.0.0.1"));
    }
    netWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepNetWarning);
    QElapsedTimer clock;
    clock.start();
    const auto attempts = [] {
        const QRegularExpression more(QStringLiteral(
            R"(^127\.0\.0\.1: (\d+) more lines in the last second, the last: out of )"));
        std::int64_t sum = 0;
        for (const QString& line : netWarnings) {
            if (const QRegularExpressionMatch m = more.match(line); m.hasMatch()) {
                sum += m.captured(1).toLongLong();
            } else if (line.startsWith(QStringLiteral("out of descriptors: closed the new"))) {
                ++sum;
            }
        }
        return sum;
    };
    {
        const DescriptorRoom none(0);
        ASSERT_TRUE(none.ok());
        for (const RawPeer& peer : peers) {
            peer.connect(port);
            EXPECT_EQ(peer.waitForEnd(), ECONNRESET);
        }
        EXPECT_TRUE(waitFor([&] { return attempts() == Attempts; }));
    }
    const qint64 seconds = clock.elapsed() / 1000 + 1;
    qInstallMessageHandler(previous);
    // A burst and a count a second, and the shortage itself once.
    EXPECT_LE(netWarnings.size(), seconds * (HostLogBudget::Burst + 1) + 1)
        << netWarnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(ServerTest, WithNoDescriptorLeftAReturningSlaveTakesThePlaceOfAnotherHostsIdleConnection) {
    const quint16 port = listen();
    int disconnects = 0;
    server.OnClientDisconnected = [&](QObject*, TSimpleTCPClient*) { ++disconnects; };
    RawPeer slave = RawPeer::from("127.0.0.1");
    std::vector<RawPeer> idle;
    {
        // More idle connections than fit: each costs a descriptor on both ends.
        constexpr int kRoom = 40;
        const DescriptorRoom room(kRoom);
        ASSERT_TRUE(room.ok());
        for (int i = 0; i < kRoom / 2 + 5; ++i) {
            idle.push_back(RawPeer::from("127.0.0.2"));
            idle.back().connect(port);
        }
        ASSERT_TRUE(waitFor([&] { return idle.back().waitForEnd(50) == ECONNRESET; }));
        const auto hogged = server.Clients().size();
        EXPECT_GE(hogged, 2);
        slave.connect(port);
        ASSERT_TRUE(waitFor([&] {
            const QList<TSimpleTCPClient*> clients = server.Clients();
            return std::any_of(clients.begin(), clients.end(), [](const TSimpleTCPClient* c) {
                return c->Host() == QStringLiteral("127.0.0.1");
            });
        }));
        EXPECT_EQ(server.Clients().size(), hogged);
        EXPECT_EQ(disconnects, 1);
        server.SendToAll("_Play*", 6);
        EXPECT_EQ(slave.readExactly(6), QByteArray("_Play*"));
        // A second report of the shortage would have come with one of the connections above.
        settle(300);
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 10024);
}

TEST_F(ServerTest, OneAddressHoldsABoundedNumberOfConnectionsAndOthersStillGetIn) {
    ASSERT_TRUE(DescriptorLimit::raiseToHard());
    const quint16 port = listen();
    constexpr int kBound = TSimpleTCPServer::kConnectionsPerLoopbackAddress;
    std::vector<RawPeer> crowd;
    for (int i = 0; i < kBound + 2; ++i) {
        crowd.push_back(RawPeer::connectFrom("127.0.0.2", port));
    }
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == kBound; }));
    EXPECT_EQ(crowd[kBound].waitForEnd(), ECONNRESET);
    EXPECT_EQ(crowd[kBound + 1].waitForEnd(), ECONNRESET);
    RawPeer slave = connectAndAccept(port);
    EXPECT_EQ(server.Clients().size(), kBound + 1);
    EXPECT_TRUE(errors.empty());
}

TEST(DescriptorLimit, TheSoftLimitIsRaisedToTheHardOne) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max < 1024) {
        GTEST_SKIP() << "hard limit below 1024";
    }
    rlimit low = saved;
    low.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    EXPECT_TRUE(DescriptorLimit::raiseToHard());
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    EXPECT_EQ(now.rlim_cur, saved.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

TEST_F(ServerTest, OnlyTheCommandHostsAreHeardAndTheRestIsDropped) {
    const quint16 port = listen();
    QByteArray heard;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char* buffer, qint32 length) {
        heard.append(buffer, length);
    };
    server.setCommandHosts(QStringLiteral("127.0.0.2"));
    RawPeer stranger = connectAndAccept(port);
    RawPeer commander = RawPeer::connectFrom("127.0.0.2", port);
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == 2; }));
    stranger.send("_Stop*");
    commander.send("_Play*");
    stranger.send("_ClLi*");
    ASSERT_TRUE(waitFor([&] { return heard.size() >= 6; }));
    settle(100);
    EXPECT_EQ(heard, QByteArray("_Play*"));

    // Empty again: every peer, as without the key.
    server.setCommandHosts(QString());
    stranger.send("_Rep0*");
    ASSERT_TRUE(waitFor([&] { return heard.size() == 12; }));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(server.property("CommandHosts").toString(), QString());
}

TEST(CommandHostList, TheSettingsTextNamesEveryoneNobodyOrAList) {
    EXPECT_TRUE(CommandHostList(QString()).admits(QStringLiteral("10.0.0.9")));
    EXPECT_TRUE(CommandHostList(QStringLiteral("  ")).admitsEveryone());
    EXPECT_FALSE(CommandHostList(QStringLiteral("None")).admits(QStringLiteral("127.0.0.1")));

    const CommandHostList list(QStringLiteral(" 10.0.0.7, 10.0.0.8;10.0.0.9  192.168.1.300 "));
    EXPECT_TRUE(list.admits(QStringLiteral("10.0.0.7")));
    EXPECT_TRUE(list.admits(QStringLiteral("10.0.0.9")));
    EXPECT_FALSE(list.admits(QStringLiteral("10.0.0.70")));
    EXPECT_FALSE(list.admits(QStringLiteral("192.168.1.300")));
    EXPECT_EQ(list.unreadable(), QStringList{QStringLiteral("192.168.1.300")});

    // Meant to restrict, read as nothing: nobody rather than everybody.
    EXPECT_FALSE(CommandHostList(QStringLiteral("master-pc")).admits(QStringLiteral("10.0.0.1")));
}

TEST_F(ServerTest, ARefusedConnectionIsClosedAndNeverListed) {
    const quint16 port = listen();
    int accepts = 0;
    int connects = 0;
    server.OnAccept = [&](QObject*, TSimpleTCPClient* client, bool& accept) {
        ++accepts;
        EXPECT_TRUE(accept);
        EXPECT_EQ(client->Host(), QStringLiteral("127.0.0.1"));
        accept = false;
    };
    server.OnClientConnected = [&](QObject*, TSimpleTCPClient*) { ++connects; };
    RawPeer peer = RawPeer::connectTo(port);
    EXPECT_EQ(peer.waitForEnd(), ECONNRESET);
    EXPECT_EQ(accepts, 1);
    EXPECT_EQ(connects, 0);
    EXPECT_TRUE(server.Clients().isEmpty());
}

TEST_F(ServerTest, SendToAllReachesEveryConnectionInTheOrderOfAcceptance) {
    server.SendToAll("_Play*", 6);
    const quint16 port = listen();
    server.SendToAll("_Play*", 6);
    std::vector<RawPeer> peers;
    for (int i = 0; i < 3; ++i) {
        peers.push_back(connectAndAccept(port));
    }
    const QList<TSimpleTCPClient*> clients = server.Clients();
    ASSERT_EQ(clients.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(peerPortOf(clients[i]), peers[i].localPort());
    }
    server.SendToAll("_DoNC1*", 7);
    for (const RawPeer& peer : peers) {
        EXPECT_EQ(peer.readExactly(7), QByteArray("_DoNC1*"));
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ServerTest, StoppingResetsEverySlaveWithoutDisconnectEvents) {
    const quint16 port = listen();
    int serverDisconnects = 0;
    server.OnClientDisconnected = [&](QObject*, TSimpleTCPClient*) { ++serverDisconnects; };
    TSimpleTCPClient slaves[2];
    std::vector<ErrorRecord> slaveErrors;
    int slaveDisconnects = 0;
    for (TSimpleTCPClient& slave : slaves) {
        slave.setHost(QStringLiteral("127.0.0.1"));
        slave.setPort(port);
        slave.OnError = [&](QObject*, qint32 socket, qint32 code, const QString& text) {
            slaveErrors.push_back({socket, code, text});
        };
        slave.OnDisconnected = [&](QObject*) { ++slaveDisconnects; };
        slave.setConnected(true);
    }
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == 2; }));
    server.setListen(false);
    EXPECT_TRUE(server.Clients().isEmpty());
    ASSERT_TRUE(waitFor([&] { return slaveErrors.size() == 2; }));
    for (const ErrorRecord& error : slaveErrors) {
        EXPECT_EQ(error.code, 10054);
        EXPECT_EQ(error.text, QStringLiteral("Connection reset by peer"));
    }
    settle();
    EXPECT_EQ(slaveDisconnects, 0);
    EXPECT_EQ(serverDisconnects, 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ServerTest, ReadEventsCarryTheLengthAndAZeroByteAfterTheData) {
    const quint16 port = listen();
    struct Read {
        TSimpleTCPClient* client;
        QByteArray bytes;
        char after;
    };
    std::vector<Read> reads;
    server.OnClientRead = [&](QObject* sender, TSimpleTCPClient* client, const char* buffer,
                              qint32 length) {
        EXPECT_EQ(sender, &server);
        reads.push_back({client, QByteArray(buffer, length), buffer[length]});
    };
    RawPeer peer = connectAndAccept(port);
    peer.send("_Stop*");
    ASSERT_TRUE(waitFor([&] { return reads.size() == 1; }));
    EXPECT_EQ(reads[0].client, server.Clients()[0]);
    EXPECT_EQ(reads[0].bytes, QByteArray("_Stop*"));
    EXPECT_EQ(reads[0].after, '\0');

    // 20000 bytes waiting come as chunks of 8193, 8193 and 3614 and make one event; a multiple
    // of the chunk size ends on "would block", which only means the socket is drained.
    for (const qsizetype size : {qsizetype(20000), qsizetype(8193), qsizetype(16386)}) {
        reads.clear();
        QByteArray bytes(size, '\0');
        for (qsizetype i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>('a' + i % 26);
        }
        peer.send(bytes);
        ASSERT_TRUE(waitFor([&] { return !reads.empty(); })) << size;
        settle(50);
        ASSERT_EQ(reads.size(), 1u) << size;
        EXPECT_EQ(reads[0].bytes, bytes);
        EXPECT_EQ(reads[0].after, '\0');
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ServerTest, BytesSentJustBeforeAnOrderlyCloseAreReadBeforeTheDisconnect) {
    const quint16 port = listen();
    QStringList order;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char* buffer, qint32) {
        order << QString::fromLatin1(buffer);
    };
    server.OnClientDisconnected = [&](QObject*, TSimpleTCPClient*) { order << "closed"; };
    RawPeer peer = connectAndAccept(port);
    peer.send("_ReSt*");
    peer.close();
    ASSERT_TRUE(waitFor([&] { return order.size() == 2; }));
    EXPECT_EQ(order, QStringList({"_ReSt*", "closed"}));
}

TEST_F(ServerTest, AReadHandlerMayStopTheServerWhileTheSameConnectionIsClosing) {
    const quint16 port = listen();
    int disconnects = 0;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char*, qint32) {
        server.setListen(false);
    };
    server.OnClientDisconnected = [&](QObject*, TSimpleTCPClient*) { ++disconnects; };
    RawPeer first = connectAndAccept(port);
    RawPeer second = connectAndAccept(port);
    first.send("_Stop*");
    first.close();
    ASSERT_TRUE(waitFor([&] { return !server.Listen(); }));
    settle(50);
    EXPECT_TRUE(server.Clients().isEmpty());
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(second.waitForEnd(), ECONNRESET);
}

TEST_F(ServerTest, WithoutAReadHandlerBytesWaitInTheSocketUntilOneIsAssigned) {
    const quint16 port = listen();
    RawPeer peer = connectAndAccept(port);
    peer.send("_Play*");
    settle();
    QByteArray received;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char* buffer, qint32 length) {
        received.append(buffer, length);
    };
    peer.send("_Stop*");
    ASSERT_TRUE(waitFor([&] { return received.size() == 12; }));
    EXPECT_EQ(received, QByteArray("_Play*_Stop*"));
}

TEST_F(ServerTest, PublishedPropertiesAreReachableByName) {
    EXPECT_TRUE(server.setProperty("Port", 8234));
    EXPECT_EQ(server.Port(), 8234);
    EXPECT_TRUE(server.setProperty("AllowChangeHostAndPortOnConnection", true));
    EXPECT_TRUE(server.AllowChangeHostAndPortOnConnection());
    EXPECT_EQ(server.property("Listen").toBool(), false);
    // Written back by the settings store; ignored.
    EXPECT_TRUE(server.setProperty("LocalIP", QStringLiteral("10.0.0.99")));
    EXPECT_NE(server.property("LocalIP").toString(), QStringLiteral("10.0.0.99"));
    EXPECT_EQ(server.metaObject()->indexOfProperty("Host"), -1);
}

}  // namespace

// The link's backends on real sockets on loopback and on pseudo-terminals: what each peer's
// bytes become, who hears what is sent, and the Master's word on who it is.
#include "app/lan_master_link.h"
#include "app/lan_slave_link.h"
#include "app/serial_chain_link.h"
#include "app/sync_command.h"
#include "loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "pty_pair.h"
#include "serial/com_port.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

namespace {

using Received = std::vector<std::pair<QObject*, QByteArray>>;
using Lamp = SyncLink::Lamp;
using Lamps = std::vector<Lamp>;

struct MasterEnd {
    TSimpleTCPServer server;
    LanMasterLink link{server};
    std::vector<TSimpleTCPClient*> peers;
    Received received;
    int chunks = 0;
    Lamps lamps;

    MasterEnd() {
        server.setPort(0);
        link.onLamp = [this](Lamp lamp) { lamps.push_back(lamp); };
        link.onPeerJoined = [this](TSimpleTCPClient& peer) { peers.push_back(&peer); };
        link.onPeerLeft = [this](TSimpleTCPClient& peer) { std::erase(peers, &peer); };
        link.onCommand = [this](const QByteArray& command, QObject* from) {
            received.emplace_back(from, command);
        };
        link.onBytes = [this](QObject*, QByteArrayView) { ++chunks; };
    }
    // Sends on the raw peer and waits until the link has read it.
    void from(const RawPeer& peer, const QByteArray& bytes) {
        const int before = chunks;
        peer.send(bytes);
        ASSERT_TRUE(waitFor([&] { return chunks > before; }));
    }
};

// Two Slaves write halves of commands at once, and one puts a report between the halves of
// the other's: each peer's command comes out whole, with its peer, and nothing is lost. A peer
// that leaves in the middle of a frame leaves nothing to the connection after it.
TEST(LanMasterLink, PeersAreFramedApartAndEachIsGreetedFirst) {
    MasterEnd master;
    master.link.setGreeting(SyncCommand::hello({QStringLiteral("v"), QStringLiteral("A")}));
    master.link.open();
    ASSERT_TRUE(master.link.isOpen());
    const quint16 port = boundPort(master.server);
    RawPeer a = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return master.peers.size() == 1; }));
    RawPeer b = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return master.peers.size() == 2; }));
    const QByteArray greeting = frameCommand(SyncCommand::hello({"v", "A"}));
    EXPECT_EQ(a.readExactly(greeting.size()), greeting);
    EXPECT_EQ(b.readExactly(greeting.size()), greeting);

    master.from(a, "_SeLi7");
    master.from(b, "77*");
    master.from(b, "_sErrx*");
    master.from(a, "7*");
    EXPECT_EQ(master.received, Received({{master.peers[1], "sErrx"}, {master.peers[0], "SeLi77"}}));

    master.link.send(SyncCommand::play());
    EXPECT_EQ(a.readExactly(6), "_Play*");
    EXPECT_EQ(b.readExactly(6), "_Play*");

    master.from(a, "_SeLi4");
    a.close();
    ASSERT_TRUE(waitFor([&] { return master.peers.size() == 1; }));
    RawPeer c = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return master.peers.size() == 2; }));
    master.from(c, "2*_Stop*");
    EXPECT_EQ(master.received.back(), Received::value_type(master.peers[1], "Stop"));
    EXPECT_EQ(master.received.size(), 3u);

    master.link.close();
    EXPECT_FALSE(master.link.isOpen());
    EXPECT_EQ(b.waitForEnd(), ECONNRESET);
}

// Each frame sent lights the sent lamp once and each chunk read the received lamp. A server
// that cannot listen (another program holds its port) sends nothing and lights nothing.
TEST(LanMasterLink, TheLampsShowWhatGoesOutAndComesInAndAServerThatCannotListenSendsNothing) {
    MasterEnd master;
    master.link.open();
    RawPeer peer = RawPeer::connectTo(boundPort(master.server));
    ASSERT_TRUE(waitFor([&] { return master.peers.size() == 1; }));
    master.link.send(SyncCommand::play());
    master.from(peer, "_Rep0*_Rep1*");
    EXPECT_EQ(master.lamps, Lamps({Lamp::Sent, Lamp::Received}));

    MasterEnd blocked;
    int errors = 0;
    blocked.server.OnError = [&](QObject*, qint32, qint32, const QString&) { ++errors; };
    blocked.server.setPort(boundPort(master.server));
    blocked.link.open();
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(blocked.link.isOpen());
    blocked.link.send(SyncCommand::play());
    EXPECT_EQ(blocked.lamps, Lamps());
}

// A Slave's close is abortive, so every Slave leaves with a reset: that is no failure of the
// Master's end, which reports no error, keeps listening and serves the others on.
TEST(LanMasterLink, ASlaveLeavingWithAResetLeavesTheOthersServed) {
    MasterEnd master;
    int errors = 0;
    master.server.OnError = [&](QObject*, qint32, qint32, const QString&) { ++errors; };
    master.link.open();
    const quint16 port = boundPort(master.server);
    TSimpleTCPClient leaving;
    leaving.setHost(QStringLiteral("127.0.0.1"));
    leaving.setPort(port);
    leaving.setConnected(true);
    RawPeer staying = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return master.peers.size() == 2; }));
    leaving.setConnected(false);
    ASSERT_TRUE(waitFor([&] { return master.peers.size() == 1; }));
    master.link.send(SyncCommand::loop(true));
    EXPECT_EQ(staying.readExactly(6), "_Rep1*");
    settle();
    EXPECT_EQ(master.peers.size(), 1u);
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(master.link.isOpen());
}

struct SlaveEnd {
    TSimpleTCPClient client;
    LanSlaveLink link{client};
    QStringList events;
    bool connected = false;

    explicit SlaveEnd(quint16 port, const QString& show) {
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        link.setShowName(show);
        link.onConnected = [this] { connected = true; };
        link.onCommand = [this](const QByteArray& command, QObject*) {
            events << QString::fromLatin1(command);
        };
        link.onFollowing = [this] { events << QStringLiteral("following"); };
        // With the Master the link holds as linked then.
        link.onMaster = [this](LanSlaveLink::MasterState state, const MasterHello& hello) {
            const char* word = state == LanSlaveLink::MasterState::Confirmed ? "confirmed"
                               : state == LanSlaveLink::MasterState::Silent  ? "silent"
                                                                             : "refused";
            const std::optional<MasterHello>& linked = link.linkedMaster();
            events << QStringLiteral("%1 %2 as %3")
                          .arg(QString::fromLatin1(word), hello.showName,
                               linked ? linked->showName : QStringLiteral("-"));
        };
    }
};

// A Master of this show (or of none) is confirmed before its commands run; one of another show
// is refused and its commands, even those in the same read, never run; one that says nothing
// is reported silent and still followed, and a hello after that confirms it. Each connection's
// Master is followed once, before what it is is told.
TEST(LanSlaveLink, TheMastersHelloDecidesWhetherItIsFollowed) {
    RawPeer listener = RawPeer::listenOn();
    const auto hello = [](const char* show) {
        return frameCommand(SyncCommand::hello({QStringLiteral("v"), QString::fromUtf8(show)}));
    };
    {
        SlaveEnd slave(listener.localPort(), QStringLiteral("Halle 2"));
        slave.link.open();
        RawPeer master = listener.accept();
        master.send(hello("halle 2") + "_Play*");
        ASSERT_TRUE(waitFor([&] { return slave.events.size() == 3; }));
        EXPECT_EQ(slave.events, QStringList({"following", "confirmed halle 2 as halle 2", "Play"}));
    }
    {
        SlaveEnd slave(listener.localPort(), QStringLiteral("Halle 2"));
        slave.link.open();
        RawPeer master = listener.accept();
        master.send(hello("Halle 3") + "_Play*_Stop*");
        EXPECT_EQ(master.waitForEnd(), ECONNRESET);
        settle();
        EXPECT_EQ(slave.events, QStringList({"refused Halle 3 as -"}));
        EXPECT_FALSE(slave.link.isOpen());
    }
    {
        SlaveEnd slave(listener.localPort(), QStringLiteral("Halle 2"));
        slave.link.setHelloTimeout(50);
        slave.link.open();
        RawPeer master = listener.accept();
        ASSERT_TRUE(waitFor([&] { return !slave.events.isEmpty(); }));
        master.send("_Play*");
        ASSERT_TRUE(waitFor([&] { return slave.events.size() == 3; }));
        master.send(hello(""));
        ASSERT_TRUE(waitFor([&] { return slave.events.size() == 4; }));
        EXPECT_EQ(slave.events,
                  QStringList({"following", "silent  as -", "Play", "confirmed  as "}));
    }
}

// A Slave speaks to its Master only on the status channel, and only once it has heard who the
// Master is: a Master of another show learns nothing of it.
TEST(LanSlaveLink, ReportsGoOnlyToAMasterItFollowsAndNoSyncCommandGoes) {
    RawPeer listener = RawPeer::listenOn();
    SlaveEnd slave(listener.localPort(), QStringLiteral("Hall A"));
    slave.link.open();
    RawPeer master = listener.accept();
    ASSERT_TRUE(waitFor([&] { return slave.connected; }));
    slave.link.send("sErrbefore the hello");
    master.send(frameCommand(SyncCommand::hello({QStringLiteral("v"), QStringLiteral("Hall A")})));
    ASSERT_TRUE(waitFor([&] { return !slave.events.isEmpty(); }));
    slave.link.send(SyncCommand::stop());
    slave.link.send("sErrdisk full");
    EXPECT_EQ(master.readExactly(15), "_sErrdisk full*");
    settle();
    EXPECT_EQ(master.readAvailable(), QByteArray());
}

struct Chain {
    PtyPair upstream;
    PtyPair downstream;
    TComPort first;
    TComPort second;
    SerialChainLink link{first, second};

    Chain() {
        TComDevicePaths paths;
        paths.SetPath(TPortType::COM1, upstream.slavePath());
        paths.SetPath(TPortType::COM2, downstream.slavePath());
        first.SetDevicePaths(paths);
        second.SetDevicePaths(paths);
        first.SetPort(TPortType::COM1);
        second.SetPort(TPortType::COM2);
        link.open();
        first.Open();
        second.Open();
    }
};

// Every byte that comes in on the first port, noise and half frames too, is on its way to the
// next station before the command it completes runs; a Slave sends nothing of its own, the
// chain's head sends on both ports.
TEST(SerialChainLink, PassesEveryByteOnBeforeTheCommandRunsAndOnlyTheHeadSends) {
    Chain chain;
    ASSERT_TRUE(chain.upstream.ok() && chain.downstream.ok());
    Lamps lamps;
    chain.link.onLamp = [&](Lamp lamp) { lamps.push_back(lamp); };
    QByteArray passedOnBeforePlay;
    chain.link.onCommand = [&](const QByteArray& command, QObject* from) {
        EXPECT_EQ(from, &chain.first);
        if (command == "Play") {
            passedOnBeforePlay = chain.downstream.readMaster(8);
        }
    };
    chain.upstream.writeMaster("xx_Pl");
    settle();
    chain.upstream.writeMaster("ay*yy");
    ASSERT_TRUE(waitFor([&] { return !passedOnBeforePlay.isEmpty(); }));
    EXPECT_TRUE(passedOnBeforePlay.startsWith("xx_Play*")) << passedOnBeforePlay.toStdString();
    // Each chunk read was passed on, then received.
    ASSERT_GE(lamps.size(), 4u);
    EXPECT_EQ(Lamps(lamps.begin(), lamps.begin() + 2), Lamps({Lamp::PassedOn, Lamp::Received}));
    EXPECT_EQ(std::count(lamps.begin(), lamps.end(), Lamp::Sent), 0);

    lamps.clear();
    chain.link.send(SyncCommand::stop());
    settle();
    EXPECT_EQ(chain.upstream.readMaster(6, 200), QByteArray());
    EXPECT_EQ(lamps, Lamps());
    chain.link.setHead(true);
    chain.link.send(SyncCommand::stop());
    EXPECT_EQ(chain.upstream.readMaster(6), "_Stop*");
    EXPECT_EQ(chain.downstream.readMaster(6), "_Stop*");
    EXPECT_EQ(lamps, Lamps({Lamp::Sent, Lamp::PassedOn}));
}

}  // namespace

#include <gtest/gtest.h>

#include "loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <thread>

// How received bytes and events reach the owner: in bounded pieces while a peer floods, one
// handler at a time even when a handler runs a nested event loop, and safely when a handler
// destroys the component that called it.

namespace {

QByteArray numbered(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

TEST(Delivery, AFloodingSlaveIsReadInBoundedPiecesWhileAnotherIsServed) {
    TSimpleTCPServer server;
    server.setListen(true);
    const quint16 port = boundPort(server);
    RawPeer flooder = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == 1; }));
    RawPeer other = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == 2; }));
    const TSimpleTCPClient* flooding = server.Clients()[0];

    QByteArray flood;
    qsizetype largest = 0;
    QByteArray fromOther;
    qsizetype floodWhenOtherCame = -1;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient* client, const char* buffer,
                              qint32 length) {
        if (client == flooding) {
            largest = std::max<qsizetype>(largest, length);
            flood.append(buffer, length);
            return;
        }
        fromOther.append(buffer, length);
        if (floodWhenOtherCame < 0) {
            floodWhenOtherCame = flood.size();
        }
    };
    const QByteArray sent = numbered(16 * 1024 * 1024);
    std::thread sender([&] { flooder.send(sent); });
    ASSERT_TRUE(waitFor([&] { return !flood.isEmpty(); }));
    other.send("_Play*");
    const bool all =
        waitFor([&] { return flood.size() == sent.size() && fromOther.size() == 6; }, 60000);
    sender.join();
    ASSERT_TRUE(all) << flood.size();
    EXPECT_LE(largest, 64 * 1024);
    EXPECT_TRUE(flood == sent) << "bytes lost or reordered";
    EXPECT_EQ(fromOther, QByteArray("_Play*"));
    EXPECT_LT(floodWhenOtherCame, sent.size()) << "the other Slave waited for the whole flood";
}

TEST(Delivery, BytesLeftForALaterTurnStillComeBeforeTheClose) {
    TSimpleTCPServer server;
    server.setListen(true);
    QByteArray received;
    QStringList order;
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char* buffer, qint32 length) {
        received.append(buffer, length);
    };
    server.OnClientDisconnected = [&](QObject*, TSimpleTCPClient*) {
        order << QStringLiteral("closed after %1").arg(received.size());
    };
    RawPeer slave = RawPeer::connectTo(boundPort(server));
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == 1; }));
    // More than one bounded read waits in the socket before the orderly end.
    const QByteArray sent = numbered(1000 * 1000);
    std::thread sender([&] {
        slave.send(sent);
        slave.close();
    });
    const bool closed = waitFor([&] { return !order.isEmpty(); }, 30000);
    sender.join();
    ASSERT_TRUE(closed);
    EXPECT_EQ(order, QStringList({QStringLiteral("closed after 1000000")}));
    EXPECT_TRUE(received == sent);
}

TEST(Delivery, AHandlerInANestedEventLoopGetsItsNextEventOnlyAfterItReturns) {
    // As when a read handler shows a modal message box: the event loop runs inside it.
    TSimpleTCPServer server;
    server.setListen(true);
    RawPeer slave = RawPeer::connectTo(boundPort(server));
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == 1; }));
    RawPeer masterOfOther = RawPeer::listenOn();
    TSimpleTCPClient other;
    other.setHost(QStringLiteral("127.0.0.1"));
    other.setPort(masterOfOther.localPort());
    other.setConnected(true);
    RawPeer otherEnd = masterOfOther.accept();

    QStringList order;
    other.OnRead = [&](QObject*, const char* buffer, qint32 length) {
        order << QStringLiteral("other ") + QString::fromLatin1(buffer, length);
    };
    server.OnClientRead = [&](QObject*, TSimpleTCPClient*, const char* buffer, qint32 length) {
        const QString text = QString::fromLatin1(buffer, length);
        order << QStringLiteral("begin ") + text;
        if (text == QStringLiteral("_Play*")) {
            slave.send("_Stop*");
            otherEnd.send("_ReSt*");
            // Another component is served meanwhile; this one waits.
            EXPECT_TRUE(waitFor([&] { return order.contains(QStringLiteral("other _ReSt*")); }));
            settle(200);
        }
        order << QStringLiteral("end ") + text;
    };
    slave.send("_Play*");
    ASSERT_TRUE(waitFor([&] { return order.size() == 5; }));
    EXPECT_EQ(order, QStringList({"begin _Play*", "other _ReSt*", "end _Play*", "begin _Stop*",
                                  "end _Stop*"}));
}

TEST(Delivery, AHandlerMayDestroyTheComponentThatCalledIt) {
    // The closures hold a shared marker: a closure freed while it runs would be read after free.
    auto marker = std::make_shared<int>(0);
    int seen = 0;

    auto server = std::make_unique<TSimpleTCPServer>();
    server->setListen(true);
    RawPeer slave = RawPeer::connectTo(boundPort(*server));
    ASSERT_TRUE(waitFor([&] { return server->Clients().size() == 1; }));
    server->OnClientRead = [&server, &seen, marker](QObject*, TSimpleTCPClient*, const char*,
                                                    qint32) {
        server.reset();
        seen = ++*marker;
    };
    slave.send("_Stop*");
    ASSERT_TRUE(waitFor([&] { return server == nullptr; }));
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(slave.waitForEnd(), ECONNRESET);

    RawPeer master = RawPeer::listenOn();
    auto client = std::make_unique<TSimpleTCPClient>();
    int errors = 0;
    client->OnError = [&errors](QObject*, qint32, qint32, const QString&) { ++errors; };
    client->OnDisconnected = [&client, &seen, marker](QObject*) {
        client.reset();
        seen = ++*marker;
    };
    client->setHost(QStringLiteral("127.0.0.1"));
    client->setPort(master.localPort());
    client->setConnected(true);
    RawPeer slaveEnd = master.accept();
    slaveEnd.close();
    ASSERT_TRUE(waitFor([&] { return client == nullptr; }));
    EXPECT_EQ(seen, 2);
    settle(50);
    EXPECT_EQ(errors, 0) << "an event reached a destroyed client";
}

}  // namespace

#include <gtest/gtest.h>

#include "loopback.h"
#include "net/pending_bytes.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

#include <sys/socket.h>
#include <QPointer>
#include <cerrno>

// Bytes the kernel does not take at once are queued and sent in order; a peer that stops reading
// is dropped once its queue passes the cap, and nobody else is disturbed.

namespace {

QByteArray frame(int number, qsizetype size) {
    QByteArray bytes = QByteArray::number(number).rightJustified(8, '0');
    bytes.append(QByteArray(size - bytes.size(), static_cast<char>('a' + number % 26)));
    return bytes;
}

void shrinkSendBuffer(const TSimpleTCPClient* connection) {
    const int size = 4096;
    ::setsockopt(connection->socketHandle(), SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
}

TEST(PendingBytes, KeepsOrderAcrossPartialConsumesAndRefusesPastTheCap) {
    PendingBytes pending(10);
    EXPECT_TRUE(pending.append("abcdef", 6));
    pending.consume(4);
    EXPECT_EQ(QByteArray(pending.data(), static_cast<qsizetype>(pending.size())), "ef");
    EXPECT_TRUE(pending.append("ghijklmn", 8));
    EXPECT_FALSE(pending.append("o", 1));
    EXPECT_EQ(QByteArray(pending.data(), static_cast<qsizetype>(pending.size())), "efghijklmn");
    pending.consume(10);
    EXPECT_TRUE(pending.empty());
}

class SendQueueTest : public testing::Test {
protected:
    void SetUp() override {
        server.OnError = [this](QObject*, qint32 socket, qint32 code, const QString& text) {
            errors.push_back({socket, code, text});
        };
        server.OnClientDisconnected = [this](QObject*, TSimpleTCPClient*) { ++disconnects; };
        server.setListen(true);
        port = boundPort(server);
    }

    RawPeer connectAndAccept(int receiveBuffer = 0) {
        const auto before = server.Clients().size();
        RawPeer peer = RawPeer::connectTo(port, receiveBuffer);
        EXPECT_TRUE(waitFor([&] { return server.Clients().size() == before + 1; }));
        return peer;
    }

    TSimpleTCPServer server;
    quint16 port = 0;
    std::vector<ErrorRecord> errors;
    int disconnects = 0;
};

TEST_F(SendQueueTest, FramesTheKernelCannotTakeAtOnceArriveWholeAndInOrder) {
    RawPeer slow = connectAndAccept(4096);
    shrinkSendBuffer(server.Clients()[0]);
    QByteArray expected;
    for (int i = 0; i < 12; ++i) {
        const QByteArray bytes = frame(i, 4000);
        server.SendToAll(bytes.constData(), static_cast<qint32>(bytes.size()));
        expected += bytes;
    }
    EXPECT_EQ(slow.readExactly(expected.size()), expected);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(server.Clients().size(), 1);
}

TEST_F(SendQueueTest, ASlaveThatStopsReadingIsDroppedAndTheOthersKeepEveryFrame) {
    RawPeer stalled = connectAndAccept(4096);
    RawPeer reading = connectAndAccept();
    const QPointer<TSimpleTCPClient> stalledConnection = server.Clients()[0];
    const int stalledSocket = stalledConnection->socketHandle();
    shrinkSendBuffer(stalledConnection);

    QByteArray expected;
    QByteArray got;
    for (int i = 0; i < 400 && errors.empty(); ++i) {
        const QByteArray bytes = frame(i, 1024);
        server.SendToAll(bytes.constData(), static_cast<qint32>(bytes.size()));
        expected += bytes;
        got += reading.readAvailable();
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].socket, stalledSocket);
    EXPECT_EQ(errors[0].code, 10055);
    EXPECT_EQ(errors[0].text, QStringLiteral("No buffer space available"));
    EXPECT_TRUE(stalledConnection.isNull());
    EXPECT_EQ(disconnects, 1);
    ASSERT_EQ(server.Clients().size(), 1);

    const QByteArray last = frame(999, 6);
    server.SendToAll(last.constData(), static_cast<qint32>(last.size()));
    expected += last;
    got += reading.readExactly(expected.size() - got.size());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(stalled.waitForEnd(), ECONNRESET);
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(SendQueueTest, AnErrorHandlerMayStopTheServerInTheMiddleOfSendToAll) {
    RawPeer first = connectAndAccept(4096);
    RawPeer second = connectAndAccept(4096);
    for (TSimpleTCPClient* connection : server.Clients()) {
        shrinkSendBuffer(connection);
    }
    server.OnError = [this](QObject*, qint32 socket, qint32 code, const QString& text) {
        errors.push_back({socket, code, text});
        server.setListen(false);
    };
    const QByteArray bytes(1024, 'x');
    for (int i = 0; i < 400 && server.Listen(); ++i) {
        server.SendToAll(bytes.constData(), static_cast<qint32>(bytes.size()));
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 10055);
    EXPECT_TRUE(server.Clients().isEmpty());
    EXPECT_EQ(disconnects, 0);
}

TEST_F(SendQueueTest, AClientWhoseServerDoesNotReadIsDroppedPastTheCap) {
    TSimpleTCPClient client;
    std::vector<ErrorRecord> clientErrors;
    client.OnError = [&](QObject*, qint32 socket, qint32 code, const QString& text) {
        clientErrors.push_back({socket, code, text});
    };
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.setConnected(true);
    ASSERT_TRUE(waitFor([&] { return server.Clients().size() == 1; }));
    settle(50);
    const QByteArray bytes(8192, 'x');
    qint32 result = 0;
    for (int i = 0; i < 4000 && clientErrors.empty(); ++i) {
        result = client.Send(bytes.constData(), static_cast<qint32>(bytes.size()));
        EXPECT_TRUE(result == bytes.size() || clientErrors.size() == 1u);
    }
    ASSERT_EQ(clientErrors.size(), 1u);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(clientErrors[0].code, 10055);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.Send("_Play*", 6), 0);
}

}  // namespace

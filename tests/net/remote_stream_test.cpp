// The live stream over a real WebSocket: the show at once, then every change in order; a page
// from another site is shut out.
#include "remote_layer_test.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

namespace {

struct StreamClient {
    explicit StreamClient(const QString& origin) : socket(origin) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            messages << QJsonDocument::fromJson(text.toUtf8()).object();
        });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
    }
    void open(quint16 port, const QString& path = QStringLiteral("/api/v1/stream")) {
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
    }
    bool waitFor(qsizetype count) {
        return QTest::qWaitFor([&] { return messages.size() >= count || closed; }, 10000) &&
               messages.size() >= count;
    }

    QWebSocket socket;
    QList<QJsonObject> messages;
    bool closed = false;
};

class RemoteStreamTest : public RemoteLayerTest {
protected:
    void SetUp() override { start({}); }
    void start(const RemoteLimits& limits) {
        RemoteShow show = remoteShow();
        show.token = QStringLiteral("t0ken");
        open(std::move(show), limits);
    }
};

TEST_F(RemoteStreamTest, ThePageGetsTheShowAtOnceAndThenEveryChangeInOrder) {
    StreamClient page(QStringLiteral("http://127.0.0.1:%1").arg(port_));
    page.open(port_);
    ASSERT_TRUE(page.waitFor(1));
    EXPECT_EQ(page.messages[0].value("event").toString(), "show");
    EXPECT_TRUE(page.messages[0].value("show").toObject().value("segment").isNull());

    ShowSnapshot show = FakeShow::threeScreens();
    for (int segment = 1; segment <= 3; ++segment) {
        show.segment = segment;
        show_.status.setSnapshot(show);
        ASSERT_TRUE(page.waitFor(segment + 1)) << segment;
    }
    // A Slave gone: its card must say so.
    show.screens[2].health = ScreenHealth::Gone;
    show_.status.setSnapshot(show);
    ASSERT_TRUE(page.waitFor(5));

    for (qsizetype i = 1; i < page.messages.size(); ++i) {
        EXPECT_GT(page.messages[i].value("sequence").toInteger(),
                  page.messages[i - 1].value("sequence").toInteger());
        EXPECT_EQ(page.messages[i].value("show").toObject().value("segment").toInt(),
                  std::min<qsizetype>(i, 3));
    }
    EXPECT_EQ(page.messages[4]
                  .value("show")
                  .toObject()
                  .value("screens")
                  .toArray()[2]
                  .toObject()
                  .value("health")
                  .toString(),
              "gone");
}

TEST_F(RemoteStreamTest, APageFromAnotherSiteOrAnotherPathIsShutOutAndAControllerIsLetIn) {
    StreamClient foreign(QStringLiteral("http://show-tickets.example"));
    foreign.open(port_);
    StreamClient elsewhere(QStringLiteral("http://127.0.0.1:%1").arg(port_));
    elsewhere.open(port_, QStringLiteral("/api/v1/other"));
    StreamClient controller{QString()};
    controller.open(port_);

    ASSERT_TRUE(controller.waitFor(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return foreign.closed && elsewhere.closed; }, 10000));
    EXPECT_TRUE(foreign.messages.isEmpty());
    EXPECT_TRUE(elsewhere.messages.isEmpty());
    EXPECT_EQ(foreign.socket.closeCode(), QWebSocketProtocol::CloseCodePolicyViolated);
    EXPECT_EQ(layer_->streamCount(), 1);
}

TEST_F(RemoteStreamTest, AStreamHoldsOneOfItsHostsConnectionsUntilItCloses) {
    RemoteLimits limits;
    limits.connectionsFromOwnMachine = 2;
    start(limits);
    for (int round = 0; round < 3; ++round) {
        StreamClient first{QString()};
        first.open(port_);
        StreamClient second{QString()};
        second.open(port_);
        ASSERT_TRUE(first.waitFor(1)) << round;
        ASSERT_TRUE(second.waitFor(1)) << round;
        StreamClient third{QString()};
        third.open(port_);
        ASSERT_TRUE(QTest::qWaitFor([&] { return third.closed; }, 10000)) << round;
        EXPECT_TRUE(third.messages.isEmpty());
        first.socket.close();
        second.socket.close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return layer_->streamCount() == 0; }, 10000));
    }
}

// The text messages of a server's WebSocket frames (unmasked, unfragmented) after its answer to
// the handshake; none until the answer is whole.
QList<QJsonObject> textMessages(const QByteArray& bytes) {
    QList<QJsonObject> messages;
    qsizetype at = bytes.indexOf("\r\n\r\n");
    if (at < 0)
        return messages;
    at += 4;
    while (at + 2 <= bytes.size()) {
        quint64 length = static_cast<quint8>(bytes[at + 1]) & 0x7F;
        qsizetype head = 2;
        const int extended = length == 126 ? 2 : length == 127 ? 8 : 0;
        if (at + head + extended > bytes.size())
            break;
        if (extended > 0) {
            length = 0;
            for (int i = 0; i < extended; ++i)
                length = (length << 8) | static_cast<quint8>(bytes[at + 2 + i]);
            head += extended;
        }
        if (at + head + static_cast<qsizetype>(length) > bytes.size())
            break;
        messages << QJsonDocument::fromJson(bytes.mid(at + head, static_cast<qsizetype>(length)))
                        .object();
        at += head + static_cast<qsizetype>(length);
    }
    return messages;
}

TEST_F(RemoteStreamTest, APageThatStopsReadingIsSkippedAndThenSentTheShowAsItIsNow) {
    RemoteLimits limits;
    limits.maxStreamBacklogBytes = 256 * 1024;
    start(limits);
    QTcpSocket page;
    page.setReadBufferSize(4096);
    page.connectToHost(QStringLiteral("127.0.0.1"), port_);
    ASSERT_TRUE(page.waitForConnected(10000));
    page.write(
        "GET /api/v1/stream HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
        "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
        "Sec-WebSocket-Version: 13\r\n\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return layer_->streamCount() == 1; }, 10000));

    // 300 changes of 40 KB each while the page reads nothing: far more than the kernel's
    // buffers take.
    ShowSnapshot show = FakeShow::threeScreens();
    show.screens[2].problems = {QString(40 * 1024, QLatin1Char('x'))};
    constexpr int Changes = 300;
    for (int segment = 1; segment <= Changes; ++segment) {
        show.segment = segment;
        show_.status.setSnapshot(show);
        QCoreApplication::processEvents();
    }

    page.setReadBufferSize(0);
    QByteArray bytes;
    QList<QJsonObject> messages;
    const auto lastSegment = [&] {
        return messages.isEmpty()
                   ? -1
                   : messages.last().value("show").toObject().value("segment").toInt();
    };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            bytes += page.readAll();
            messages = textMessages(bytes);
            return lastSegment() == Changes;
        },
        30000));
    EXPECT_EQ(lastSegment(), Changes);
    // The greeting and the changes, less those skipped while the backlog was full.
    EXPECT_LT(messages.size(), Changes + 1);
}

}  // namespace

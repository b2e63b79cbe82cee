// What a host may cost the HTTP port: bytes, connections and requests beyond the bounds are
// refused with the status that says why, before the server reads them.
#include "http_probe.h"
#include "remote_layer_test.h"
#include "support/test_clock.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QLoggingCategory>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <memory>
#include <vector>

namespace {

const QString Token = QStringLiteral("feedfeedfeedfeedfeedfeedfeedfeed");

class RemoteBoundsTest : public RemoteLayerTest {
protected:
    void start(const RemoteLimits& limits) {
        RemoteShow show = remoteShow();
        show.token = Token;
        open(std::move(show), limits);
    }
};

TEST_F(RemoteBoundsTest, OversizedHeadsAndBodiesAndChunkedBodiesAreRefusedAndClosed) {
    RemoteLimits limits;
    limits.maxHeadBytes = 2048;
    limits.maxBodyBytes = 4096;
    start(limits);
    const QByteArray auth = "Authorization: Bearer " + Token.toLatin1() + "\r\n";

    const HttpAnswer head = httpExchange(
        port_, httpRequest("GET", "/api/v1/show", "X-Pad: " + QByteArray(5000, 'a') + "\r\n"));
    EXPECT_EQ(head.status, 431);
    EXPECT_TRUE(head.closed);

    // A head that never ends is cut off as soon as it is too long.
    const HttpAnswer endless = httpExchange(port_, "GET /" + QByteArray(5000, 'a'));
    EXPECT_EQ(endless.status, 431);

    // Refused on its announced length, before the body is sent; the operation never runs.
    const HttpAnswer body =
        httpExchange(port_, "POST /api/v1/operations/start HTTP/1.1\r\nHost: x\r\n" + auth +
                                "Content-Length: 10485760\r\n\r\n{\"argument\": 1");
    EXPECT_EQ(body.status, 413);
    EXPECT_TRUE(body.closed);

    const HttpAnswer chunked =
        httpExchange(port_, "POST /api/v1/operations/start HTTP/1.1\r\nHost: x\r\n" + auth +
                                "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.status, 411);

    const HttpAnswer garbage = httpExchange(port_, "\x01\x02 nonsense\r\n\r\n");
    EXPECT_NE(garbage.status, 200);
    EXPECT_TRUE(garbage.closed);
    // The server goes on, and a body within its bound, though longer than a head may be, runs
    // its operation.
    EXPECT_EQ(httpExchange(port_, httpRequest("POST", "/api/v1/operations/cue", auth,
                                              "{\"argument\": 3}" + QByteArray(3000, ' ')))
                  .status,
              200);
    EXPECT_EQ(show_.ran, QStringList({"cue 3"}));
}

TEST_F(RemoteBoundsTest, AHostGetsItsShareOfConnectionsAndRequestsAndNoMore) {
    TestClock clock;
    RemoteLimits limits;
    limits.requestsPerSecondPerHost = 4;
    start(limits);

    // In one second, four requests are fine and the fifth is one too many.
    clock.advance(1000);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(httpExchange(port_, httpRequest("GET", "/api/v1/show")).status, 200) << i;
    const HttpAnswer flood = httpExchange(port_, httpRequest("GET", "/api/v1/show"));
    EXPECT_EQ(flood.status, 429);
    clock.advance(1000);
    EXPECT_EQ(httpExchange(port_, httpRequest("GET", "/api/v1/show")).status, 200);

    // A host's connections: one held beyond the bound is closed unanswered.
    limits.connectionsFromOwnMachine = 3;
    start(limits);
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QStringLiteral("127.0.0.1"), port_);
        ASSERT_TRUE(held.back()->waitForConnected(10000));
    }
    // The fourth is closed unanswered.
    const HttpAnswer fourth = httpExchange(port_, httpRequest("GET", "/api/v1/show"));
    EXPECT_EQ(fourth.status, 0);
    EXPECT_TRUE(fourth.closed);
    // Once one of the three goes, its place is free again.
    held.pop_back();
    int status = 0;
    (void)QTest::qWaitFor(
        [&] {
            clock.advance(1000);
            status = httpExchange(port_, httpRequest("GET", "/api/v1/show")).status;
            return status == 200;
        },
        10000);
    EXPECT_EQ(status, 200);
}

bool acceptFailed = false;
QStringList remoteLines;

TEST_F(RemoteBoundsTest, AFloodOfRefusalsCostsTheLogAFewLinesASecond) {
    TestClock clock;
    QLoggingCategory::setFilterRules(QStringLiteral("framelock.net.info=true"));
    remoteLines.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            if (message.startsWith(QLatin1String("remote: ")))
                remoteLines << message;
        });
    start({});
    const QByteArray huge =
        httpRequest("GET", "/api/v1/show", "X-Pad: " + QByteArray(9000, 'a') + "\r\n");
    clock.advance(1000);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(httpExchange(port_, huge).status, 431);
    const QStringList firstSecond = remoteLines.filter(QStringLiteral("request of 127.0.0.1"));
    clock.advance(1000);
    EXPECT_EQ(httpExchange(port_, huge).status, 431);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    EXPECT_EQ(firstSecond.size(), 10);
    EXPECT_TRUE(remoteLines.contains(QStringLiteral(
        "remote: 127.0.0.1: 20 more lines in the last second, the last: request of 127.0.0.1 "
        "refused: HTTP/1.1 431 Request Header Fields Too Large")))
        << remoteLines.join(u'\n').toStdString();
}

// Descriptors this process holds now.
rlim_t openDescriptors() {
    return static_cast<rlim_t>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System).size());
}

TEST_F(RemoteBoundsTest, AfterRunningOutOfDescriptorsThePortTakesConnectionsAgain) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers check memory through descriptors of their own, and report "
                    "every check as failed while none is left";
#endif
    start({});
    // Another process holds eight connections to the port until its input ends.
    QProcess holder;
    holder.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QStringLiteral("import socket, sys\n"
                                              "held = [socket.create_connection(('127.0.0.1', %1)) "
                                              "for _ in range(8)]\n"
                                              "print('held', flush=True)\n"
                                              "sys.stdin.read()\n")
                                   .arg(port_)});
    ASSERT_TRUE(holder.waitForStarted(10000));
    // Accepting runs on the event loop: until the warning says an accept failed.
    acceptFailed = false;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            acceptFailed = acceptFailed || message.contains(QLatin1String("connections not taken"));
        });
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    // Connections of the cases before that are still being let go would close inside the limit
    // and make room for all eight: they go first. Room for one of the eight then: the second
    // accept fails for want of a descriptor, however many of those a loaded machine left.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    rlimit tight = saved;
    tight.rlim_cur = openDescriptors() + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool held = QTest::qWaitFor([&] { return holder.canReadLine(); }, 10000);
    const bool failed = QTest::qWaitFor([] { return acceptFailed; }, 10000);
    qInstallMessageHandler(previous);
    holder.closeWriteChannel();
    EXPECT_TRUE(holder.waitForFinished(10000));
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(held);
    ASSERT_TRUE(failed);

    int status = 0;
    (void)QTest::qWaitFor(
        [&] {
            status = httpExchange(port_, httpRequest("GET", "/api/v1/show")).status;
            return status == 200;
        },
        15000);
    EXPECT_EQ(status, 200);
}

}  // namespace

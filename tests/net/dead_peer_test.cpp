#include <gtest/gtest.h>

#include "cuttable_link.h"
#include "loopback.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QTimer>

// A Master or a Slave that loses power or its cable sends nothing more, not even a reset. The
// other side must find out by itself and say so, or the link stays half-open for ever.

namespace {

// Generous: the components give up after about 5 s.
constexpr int kNoticeWithinMs = 30000;

int listenOn(const QString& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = ::inet_addr(address.toLatin1().constData());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(fd, 1) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int connectTo(const QString& address, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = ::inet_addr(address.toLatin1().constData());
    remote.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

quint16 localPort(int fd) {
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// The kernel gives up with "Connection timed out", or with "No route to host" when the peer's
// address stopped answering ARP while bytes waited to be acknowledged.
bool isDeadPeerCode(int code) {
    return code == 10060 || code == 10065;
}

class DeadPeer : public testing::Test {
protected:
    void SetUp() override {
        if (!link.failure().isEmpty()) {
            GTEST_SKIP() << "no cuttable link, dead-peer detection untested: "
                         << link.failure().toStdString();
        }
    }

    void TearDown() override {
        for (const int fd : peerSockets) {
            ::close(fd);
        }
    }

    CuttableLink link;
    std::vector<int> peerSockets;
    std::vector<ErrorRecord> errors;
};

TEST_F(DeadPeer, AnIdleSlaveNoticesAMasterWhoseCableIsCutAndReportsATimeOut) {
    const int listening = link.inPeer([&] { return listenOn(link.peerAddress()); });
    ASSERT_GE(listening, 0);
    peerSockets.push_back(listening);

    TSimpleTCPClient slave;
    int connects = 0;
    slave.OnConnected = [&](QObject*) { ++connects; };
    slave.OnError = [&](QObject*, qint32 socket, qint32 code, const QString& text) {
        errors.push_back({socket, code, text});
    };
    slave.setHost(link.peerAddress());
    slave.setPort(localPort(listening));
    slave.setConnected(true);
    ASSERT_TRUE(waitFor([&] { return connects == 1; }));
    peerSockets.push_back(::accept(listening, nullptr, nullptr));

    link.cut();
    ASSERT_TRUE(waitFor([&] { return !errors.empty(); }, kNoticeWithinMs))
        << "the Slave still believes in a Master that is gone";
    EXPECT_TRUE(isDeadPeerCode(errors[0].code)) << errors[0].code;
    EXPECT_EQ(errors[0].socket, slave.socketHandle());
    // The owner's retry closes it and connects again.
    EXPECT_TRUE(slave.Connected());
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(DeadPeer, AMasterSendingToASlaveWhoseCableIsCutDropsItAndKeepsTheOthers) {
    TSimpleTCPServer master;
    int disconnects = 0;
    master.OnError = [&](QObject*, qint32 socket, qint32 code, const QString& text) {
        errors.push_back({socket, code, text});
    };
    master.OnClientDisconnected = [&](QObject*, TSimpleTCPClient*) { ++disconnects; };
    master.setListen(true);
    ASSERT_TRUE(master.Listen());
    const quint16 port = boundPort(master);

    const int vanishing = link.inPeer([&] { return connectTo(link.hostAddress(), port); });
    ASSERT_GE(vanishing, 0);
    peerSockets.push_back(vanishing);
    RawPeer staying = RawPeer::connectTo(port);
    ASSERT_TRUE(waitFor([&] { return master.Clients().size() == 2; }));

    link.cut();
    // Frames keep going out, so the vanished Slave's bytes stay unacknowledged.
    QTimer sending;
    QObject::connect(&sending, &QTimer::timeout, [&] { master.SendToAll("_Play*", 6); });
    sending.start(200);
    ASSERT_TRUE(waitFor([&] { return disconnects == 1; }, kNoticeWithinMs))
        << "the Master still sends to a Slave that is gone";
    sending.stop();
    ASSERT_FALSE(errors.empty());
    for (const ErrorRecord& error : errors) {
        EXPECT_TRUE(isDeadPeerCode(error.code)) << error.code << " " << error.text.toStdString();
    }
    ASSERT_EQ(master.Clients().size(), 1);
    EXPECT_EQ(master.Clients()[0]->Host(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(master.Listen());
}

}  // namespace

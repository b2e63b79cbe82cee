#include <gtest/gtest.h>

#include "net/local_address.h"
#include "net/simple_tcp_server.h"
#include "net/win_sock_error.h"

#include <unistd.h>
#include <cerrno>

namespace {

TEST(WinSockError, PosixErrorsTakeTheWinSockNumbersAndTexts) {
    const std::pair<int, int> pairs[] = {
        {EADDRINUSE, 10048},  {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},    {EWOULDBLOCK, 10035},
        {ECONNRESET, 10054},  {ENETUNREACH, 10051},  {EHOSTUNREACH, 10065}, {ENOBUFS, 10055},
        {EINPROGRESS, 10036}, {ENOTCONN, 10057},     {EMFILE, 10024},       {EACCES, 10013},
    };
    for (const auto& [posix, winsock] : pairs) {
        EXPECT_EQ(WinSockError::fromErrno(posix), winsock) << posix;
    }
    EXPECT_EQ(WinSockError::text(10061), QStringLiteral("Connection refused"));
    EXPECT_EQ(WinSockError::text(10049), QStringLiteral("Can't assign requested address"));
    EXPECT_EQ(WinSockError::text(11004), QStringLiteral("No Data"));
}

TEST(WinSockError, AnUnmappedErrnoKeepsItsNumberAndIsNotAWinSockError) {
    EXPECT_EQ(WinSockError::fromErrno(EIO), EIO);
    EXPECT_EQ(WinSockError::text(EIO), QStringLiteral("Not a WinSock error ?"));
    EXPECT_EQ(WinSockError::text(10000), QStringLiteral("Not a WinSock error ?"));
}

TEST(LocalAddress, ALoopbackResultGivesWayToAnInterfaceAddress) {
    using LocalAddress::preferredIPv4;
    EXPECT_EQ(preferredIPv4("127.0.1.1", "192.168.1.5"), QStringLiteral("192.168.1.5"));
    EXPECT_EQ(preferredIPv4("127.0.1.1", ""), QStringLiteral("127.0.1.1"));
    EXPECT_EQ(preferredIPv4("10.1.2.3", "192.168.1.5"), QStringLiteral("10.1.2.3"));
    EXPECT_EQ(preferredIPv4("", "192.168.1.5"), QString());
    EXPECT_TRUE(LocalAddress::isLoopback("127.255.0.1"));
    EXPECT_FALSE(LocalAddress::isLoopback("128.0.0.1"));
}

TEST(LocalAddress, TheServerShowsThisMachinesNameAndAnAddressSlavesCanReach) {
    TSimpleTCPServer server;
    char name[256] = {};
    ASSERT_EQ(::gethostname(name, sizeof(name) - 1), 0);
    EXPECT_EQ(server.LocalHostName(), QString::fromLocal8Bit(name));
    const QString address = server.LocalIP();
    if (!LocalAddress::firstInterfaceIPv4().isEmpty()) {
        EXPECT_FALSE(LocalAddress::isLoopback(address)) << address.toStdString();
    }
    EXPECT_FALSE(address.isEmpty());
}

}  // namespace

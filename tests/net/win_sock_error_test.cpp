#include <gtest/gtest.h>

#include "net/local_address.h"
#include "net/simple_tcp_server.h"
#include "net/win_sock_error.h"

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <string>

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

// What the server offers as its address on a machine whose name resolves to loopback (as
// Debian's /etc/hosts has it) and that has one network interface, 10.200.0.7: run in a child
// with a network and a host name of its own, so the answer does not hang on this machine's set-up.
// Returns the address, or why it could not be tried.
std::string offeredAddressBesideAnInterface() {
    int out[2];
    if (::pipe(out) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::unshare(CLONE_NEWNET | CLONE_NEWUTS) != 0 || ::sethostname("localhost", 9) != 0 ||
            std::system("ip link set lo up && ip tuntap add fl0 mode tun && "
                        "ip addr add 10.200.0.7/24 dev fl0 && ip link set fl0 up") != 0) {
            ::_exit(2);
        }
        TSimpleTCPServer server;
        const QByteArray address = server.LocalIP().toLatin1();
        ::_exit(::write(out[1], address.constData(), address.size()) == address.size() ? 0 : 3);
    }
    ::close(out[1]);
    std::string address;
    char buffer[64];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        address.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 2) {
        return "skip";
    }
    return address;
}

TEST(LocalAddress, TheServerShowsThisMachinesNameAndAnAddressSlavesCanReach) {
    TSimpleTCPServer server;
    char name[256] = {};
    ASSERT_EQ(::gethostname(name, sizeof(name) - 1), 0);
    EXPECT_EQ(server.LocalHostName(), QString::fromLocal8Bit(name));
    EXPECT_FALSE(server.LocalIP().isEmpty());

    const std::string offered = offeredAddressBesideAnInterface();
    if (offered == "skip") {
        GTEST_SKIP() << "no network namespace of its own (needs CAP_SYS_ADMIN and /dev/net/tun):"
                        " the interface address a Slave can reach is untested";
    }
    EXPECT_EQ(offered, "10.200.0.7");
}

}  // namespace

#include "net/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>
#include <cerrno>

namespace LocalAddress {

namespace {

constexpr std::size_t kHostNameBuffer = 128;

QString dotted(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof(text));
    return QString::fromLatin1(text);
}

}  // namespace

int hostName(QString& name) {
    char buffer[kHostNameBuffer] = {};
    if (::gethostname(buffer, sizeof(buffer) - 1) != 0) {
        name.clear();
        return errno;
    }
    name = QString::fromLocal8Bit(buffer);
    return 0;
}

QString firstIPv4Of(const QString& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.toLocal8Bit().constData(), nullptr, &hints, &found) != 0) {
        return {};
    }
    QString address;
    if (found != nullptr) {
        address = dotted(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr);
    }
    ::freeaddrinfo(found);
    return address;
}

QString firstInterfaceIPv4() {
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return {};
    }
    QString address;
    for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            !(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) {
            continue;
        }
        const QString candidate =
            dotted(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr);
        if (!isLoopback(candidate)) {
            address = candidate;
            break;
        }
    }
    ::freeifaddrs(interfaces);
    return address;
}

bool isLoopback(const QString& dottedAddress) {
    in_addr address{};
    return ::inet_pton(AF_INET, dottedAddress.toLatin1().constData(), &address) == 1 &&
           (ntohl(address.s_addr) >> 24) == 127;
}

QString preferredIPv4(const QString& resolved, const QString& interfaceAddress) {
    if (isLoopback(resolved) && !interfaceAddress.isEmpty()) {
        return interfaceAddress;
    }
    return resolved;
}

}  // namespace LocalAddress

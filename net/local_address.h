#pragma once

#include <QString>

// This computer's name and IPv4 addresses, as the server shows them to the operator.
namespace LocalAddress {

// Sets name to the host name; returns 0, or the errno of the failure (name is then empty).
int hostName(QString& name);

// The first IPv4 address the name resolves to, dotted; empty when it resolves to none.
QString firstIPv4Of(const QString& name);

// The first IPv4 address, dotted, of a network interface that is up and not a loopback
// interface; empty when there is none.
QString firstInterfaceIPv4();

bool isLoopback(const QString& dottedAddress);

// A host name that resolves to loopback (Debian maps it to 127.0.1.1) is useless to the operator
// who types the Master's address into each Slave: then the interface address is preferred, and
// loopback is kept only when the machine has no other.
QString preferredIPv4(const QString& resolved, const QString& interfaceAddress);

}  // namespace LocalAddress

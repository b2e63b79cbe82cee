#pragma once

#include "net/command_host_list.h"
#include "net/custom_simple_socket.h"
#include "net/host_log_budget.h"

#include <QList>
#include <QSet>
#include <memory>
#include <vector>

// The Master's side of the LAN link: listens on Port on every local IPv4 address, accepts any
// number of Slaves and sends each outgoing buffer to all of them. Each accepted connection is a
// TSimpleTCPClient owned by the server, served through the server's notifications.
//
// One address holds at most kConnectionsPerAddress connections (kConnectionsPerLoopbackAddress
// from the machine itself, where demos and benchmarks run many Slaves); further ones are closed
// at once. When the process runs out of descriptors, a spare one kept for the purpose lets the
// server still take each waiting connection: it keeps it in place of the newest connection of the
// address that holds the most, when that address holds at least two more than the newcomer's,
// and closes it otherwise. Either way the peer learns at once: a Slave sees its link fail and
// tries again, instead of waiting unheard in the backlog. The shortage is reported once
// (10024) until a connection is accepted normally again.
class TSimpleTCPServer : public TCustomSimpleSocket {
    Q_OBJECT
    Q_PROPERTY(bool Listen READ Listen WRITE setListen)
    Q_PROPERTY(QString LocalHostName READ LocalHostName WRITE setLocalHostName)
    Q_PROPERTY(QString LocalIP READ LocalIP WRITE setLocalIP)
    Q_PROPERTY(bool AllowChangeHostAndPortOnConnection READ AllowChangeHostAndPortOnConnection WRITE
                   setAllowChangeHostAndPortOnConnection)
    Q_PROPERTY(quint16 Port READ Port WRITE setPort)
    Q_PROPERTY(QString CommandHosts READ CommandHosts WRITE setCommandHosts)
public:
    static constexpr int kConnectionsPerAddress = 32;
    static constexpr int kConnectionsPerLoopbackAddress = 256;

    explicit TSimpleTCPServer(QObject* Owner = nullptr);
    ~TSimpleTCPServer() override;

    bool Listen() const { return listen_; }
    // true: open, bind and listen (failures go to OnError and leave Listen false); false: close
    // every connection abortively, without OnClientDisconnected, and the listening socket.
    void setListen(bool value);
    // While listening: throws ESocketError unless AllowChangeHostAndPortOnConnection, in which
    // case the server listens again on the new port.
    void setPort(quint16 value) override;

    // Computed at each read; values written (the settings store writes back every published
    // property) are ignored.
    QString LocalHostName();
    void setLocalHostName(const QString&) {}
    // The address an operator types into each Slave: the host name's first IPv4 address, or,
    // when that is a loopback address, the first other IPv4 address of an interface that is up.
    QString LocalIP();
    void setLocalIP(const QString&) {}

    // The peers whose bytes reach OnClientRead, as the settings file holds them (see
    // CommandHostList). The bytes of any other peer are read and dropped;
    // the first refusal of each peer is logged.
    QString CommandHosts() const { return commandHostsText_; }
    void setCommandHosts(const QString& value);

    // The connections, in the order they were accepted.
    QList<TSimpleTCPClient*> Clients() const;

    // Sends the bytes on every connection, in list order; failures go to OnError.
    void SendToAll(const char* Buffer, qint32 Length);

    TSimpleTCPAcceptEvent OnAccept;
    TSimpleTCPServerEvent OnClientConnected;
    // Raised after the connection has left Clients; it is destroyed when the handler returns.
    // Also raised when the connection ended with a reset, which is how a Slave leaves (no error
    // is reported for it), and when it failed otherwise (after OnError, e.g. 10060 for a Slave
    // that lost power or its cable).
    TSimpleTCPServerEvent OnClientDisconnected;
    // Unassigned: nothing is read and the bytes wait in the socket.
    TSimpleTCPServerIOEvent OnClientRead;

protected:
    void Notify(int socket, int event, int error) override;
    void DropConnection(TCustomSimpleSocket& carrier) override;

private:
    void AcceptConnection();
    // Takes the connection that waits while the process has no descriptor left; false when even
    // the spare one could not help.
    bool AcceptInShortage();
    // Keeps an accepted connection, unless OnAccept refuses it.
    void AdoptConnection(int socket, const QString& host);
    bool AtAddressLimit(const QString& host);
    int ConnectionsFrom(const QString& host) const;
    // Reports a shortage of descriptors once per episode.
    void ReportShortage(int error);
    // Stops accepting for a moment after accept() failed.
    void PauseAccepting();
    void ReadFromClient(int socket);
    void CloseClient(int socket);
    // A connection that ended with an error (a reset): reported, then removed as CloseClient does.
    void CloseClientAfterError(int socket, int error);
    TSimpleTCPClient* FindClient(int socket) const;
    std::unique_ptr<TSimpleTCPClient> TakeClient(const TCustomSimpleSocket* client);
    // Removes the connection from Clients, raises OnClientDisconnected and destroys it.
    void RemoveClient(const TCustomSimpleSocket* client);
    void DestroyClients();
    void CloseListening();
    // Lines about one peer host, a few a second at most (a host that connects without end, or a
    // shortage that refuses every attempt, would wipe the log); warnings go to shortageLog_.
    void LogAboutHost(bool warning, const QString& host, const QString& line);
    void FlushHostLog();

    bool listen_ = false;
    std::vector<std::unique_ptr<TSimpleTCPClient>> clients_;
    QString commandHostsText_;
    CommandHostList commandHosts_;
    QSet<QString> refusedHosts_;
    QSet<QString> crowdedHosts_;
    // Held while listening and given up for a moment to accept when no other descriptor is left.
    int spare_ = -1;
    bool inShortage_ = false;
    HostLogBudget hostLog_;
    HostLogBudget shortageLog_;
    bool hostLogFlushArmed_ = false;
};

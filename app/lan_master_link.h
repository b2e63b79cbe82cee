#pragma once

#include "app/receive_assembler.h"
#include "app/sync_link.h"

#include <map>
#include <memory>

class TSimpleTCPClient;
class TSimpleTCPServer;

// The LAN Master's end: the server listens, every accepted Slave (or remote control) is a peer
// with an assembler of its own, and a command goes to all of them. Each new connection is first
// told who the Master is (the greeting), then announced to the owner. The server's OnError stays
// the owner's.
class LanMasterLink : public SyncLink {
public:
    explicit LanMasterLink(TSimpleTCPServer& server);
    ~LanMasterLink() override;

    void open() override;
    void close() override;
    bool isOpen() const override;
    void send(QByteArrayView command) override;
    // To one connection only: a Slave that joins while the show runs.
    void sendTo(TSimpleTCPClient& peer, QByteArrayView command);

    // The command each new connection gets before anything else; empty: none.
    void setGreeting(const QByteArray& command) { greeting_ = command; }

    // The connection is in the server's list when it joins and has left it when it leaves.
    std::function<void(TSimpleTCPClient& peer)> onPeerJoined;
    std::function<void(TSimpleTCPClient& peer)> onPeerLeft;

    // Handlers of the server's events, named as the main window had them.
    void ServerClientConnected(TSimpleTCPClient* Client);
    void ServerClientDisconnected(TSimpleTCPClient* Client);
    void ServerClientRead(TSimpleTCPClient* Client, const char* Buffer, qint32 Length);

private:
    TSimpleTCPServer& server_;
    QByteArray greeting_;
    // One per connection; a connection object that stands where an old one stood starts anew.
    std::map<TSimpleTCPClient*, std::unique_ptr<ReceiveAssembler>> peers_;
};

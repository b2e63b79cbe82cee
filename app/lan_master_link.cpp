#include "app/lan_master_link.h"

#include "app/sync_command.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"

LanMasterLink::LanMasterLink(TSimpleTCPServer& server) : server_(server) {
    server_.OnClientConnected = [this](QObject*, TSimpleTCPClient* c) { ServerClientConnected(c); };
    server_.OnClientDisconnected = [this](QObject*, TSimpleTCPClient* c) {
        ServerClientDisconnected(c);
    };
    server_.OnClientRead = [this](QObject*, TSimpleTCPClient* c, const char* b, qint32 n) {
        ServerClientRead(c, b, n);
    };
}

LanMasterLink::~LanMasterLink() {
    server_.OnClientConnected = nullptr;
    server_.OnClientDisconnected = nullptr;
    server_.OnClientRead = nullptr;
}

void LanMasterLink::open() {
    close();
    server_.setListen(true);
}

void LanMasterLink::close() {
    // The server closes its connections without raising OnClientDisconnected.
    for (const auto& [peer, assembler] : peers_) {
        forget(peer);
    }
    peers_.clear();
    server_.setListen(false);
}

bool LanMasterLink::isOpen() const {
    return server_.Listen();
}

void LanMasterLink::send(QByteArrayView command) {
    if (!server_.Listen()) {
        return;
    }
    logSent(command);
    lamp(Lamp::Sent);
    const QByteArray frame = frameCommand(command);
    server_.SendToAll(frame.constData(), static_cast<qint32>(frame.size()));
}

void LanMasterLink::sendTo(TSimpleTCPClient& peer, QByteArrayView command) {
    const QByteArray frame = frameCommand(command);
    peer.Send(frame.constData(), static_cast<qint32>(frame.size()));
}

void LanMasterLink::ServerClientConnected(TSimpleTCPClient* Client) {
    peers_.insert_or_assign(
        Client, std::make_unique<ReceiveAssembler>(
                    [this, Client](const QByteArray& command) { take(Client, command); }));
    if (!greeting_.isEmpty()) {
        sendTo(*Client, greeting_);
    }
    if (onPeerJoined) {
        onPeerJoined(*Client);
    }
}

void LanMasterLink::ServerClientDisconnected(TSimpleTCPClient* Client) {
    peers_.erase(Client);
    forget(Client);
    if (onPeerLeft) {
        onPeerLeft(*Client);
    }
}

void LanMasterLink::ServerClientRead(TSimpleTCPClient* Client, const char* Buffer, qint32 Length) {
    if (Client == nullptr || !peers_.contains(Client)) {
        return;
    }
    const QByteArrayView bytes(Buffer, Length);
    bytesArrived(Client, bytes);
    // The handler above may have closed the link.
    const auto entry = peers_.find(Client);
    if (entry == peers_.end()) {
        return;
    }
    entry->second->Receive(bytes);
    run();
}

#pragma once

#include "app/receive_assembler.h"
#include "app/sync_command.h"
#include "app/sync_link.h"

#include <QTimer>
#include <memory>
#include <optional>

class TSimpleTCPClient;

// The LAN Slave's end: one connection to the Master. It waits for the Master's hello: a Master of
// this show is confirmed; one of another show (both named, the names differ) is refused and the
// connection closed, before any of its commands runs; a peer that says nothing within
// HelloTimeoutMs is reported silent, and its commands are still followed (an older Master sends
// no hello). It sends the Slave's status reports, once the Master is confirmed or found silent,
// and nothing else (a Slave's own Sync commands stay at home), so a Master of another show learns
// nothing of it. The client's OnError stays the owner's.
class LanSlaveLink : public SyncLink {
public:
    static constexpr int HelloTimeoutMs = 3000;
    enum class MasterState { Confirmed, Silent, Refused };

    explicit LanSlaveLink(TSimpleTCPClient& client);
    ~LanSlaveLink() override;

    void open() override;
    void close() override;
    bool isOpen() const override;
    void send(QByteArrayView command) override;

    // The show this Slave belongs to; empty: any.
    void setShowName(const QString& name) { showName_ = name; }
    const QString& showName() const { return showName_; }
    // What the Master of this connection said of itself; none while it said nothing.
    const std::optional<MasterHello>& linkedMaster() const { return linkedMaster_; }
    void setHelloTimeout(int ms) { helloTimer_.setInterval(ms); }

    // The connection is established (not yet confirmed).
    std::function<void()> onConnected;
    // The Master closed the connection.
    std::function<void()> onDisconnected;
    // The Master of this connection is followed from now on (confirmed or found silent): once
    // per connection, before onMaster tells what it is.
    std::function<void()> onFollowing;
    // What the Master turned out to be, logged; a refused one is already disconnected. A hello
    // after the Master was found silent confirms it.
    std::function<void(MasterState state, const MasterHello& hello)> onMaster;

    // Handlers of the client's events, named as the main window had them.
    void ClientConnected();
    void ClientDisconnected();
    void ClientRead(const char* Buffer, qint32 BufLength);

protected:
    void handle(Peer from, const QByteArray& command) override;

private:
    void Reset();
    void Tell(MasterState state, const MasterHello& hello);
    void Log(MasterState state, const MasterHello& hello);

    TSimpleTCPClient& client_;
    QString showName_;
    std::unique_ptr<ReceiveAssembler> assembler_;
    QTimer helloTimer_;
    // The Master was confirmed or found silent: the reports may go to it.
    bool following_ = false;
    std::optional<MasterHello> linkedMaster_;
    // A refusal is logged once while it stays the same.
    QString refusalLogged_;
};

#include "app/lan_slave_link.h"

#include "app/printable_text.h"
#include "app/status_frame.h"
#include "net/net_log.h"
#include "net/simple_tcp_client.h"

#include <utility>

LanSlaveLink::LanSlaveLink(TSimpleTCPClient& client) : client_(client) {
    helloTimer_.setSingleShot(true);
    helloTimer_.setInterval(HelloTimeoutMs);
    helloTimer_.callOnTimeout([this] { Tell(MasterState::Silent, MasterHello{}); });
    client_.OnConnected = [this](QObject*) { ClientConnected(); };
    client_.OnDisconnected = [this](QObject*) { ClientDisconnected(); };
    client_.OnRead = [this](QObject*, const char* b, qint32 n) { ClientRead(b, n); };
    Reset();
}

LanSlaveLink::~LanSlaveLink() {
    client_.OnConnected = nullptr;
    client_.OnDisconnected = nullptr;
    client_.OnRead = nullptr;
}

void LanSlaveLink::open() {
    close();
    client_.setConnected(true);
}

void LanSlaveLink::close() {
    client_.setConnected(false);
    Reset();
}

bool LanSlaveLink::isOpen() const {
    return client_.Connected();
}

void LanSlaveLink::send(QByteArrayView command) {
    if (!following_ || !isStatusCommand(command)) {
        return;
    }
    const QByteArray frame = frameCommand(command);
    client_.Send(frame.constData(), static_cast<qint32>(frame.size()));
}

void LanSlaveLink::ClientConnected() {
    helloTimer_.start();
    if (onConnected) {
        onConnected();
    }
}

void LanSlaveLink::ClientDisconnected() {
    Reset();
    if (onDisconnected) {
        onDisconnected();
    }
}

void LanSlaveLink::ClientRead(const char* Buffer, qint32 BufLength) {
    // The whole chunk counts: a stray zero byte is noise like any other byte outside a frame and
    // must not hide the commands behind it.
    const QByteArrayView bytes(Buffer, BufLength);
    bytesArrived(&client_, bytes);
    if (!client_.Connected()) {
        return;
    }
    assembler_->Receive(bytes);
    run();
}

void LanSlaveLink::handle(Peer from, const QByteArray& command) {
    const std::optional<MasterHello> hello = parseHello(command);
    if (!hello) {
        if (!command.startsWith(SyncCode::Hello)) {
            SyncLink::handle(from, command);
        }
        return;
    }
    helloTimer_.stop();
    if (sameShow(showName_, hello->showName)) {
        Tell(MasterState::Confirmed, *hello);
        return;
    }
    // Nothing of another show's may run here, not even what came in the same read.
    close();
    Tell(MasterState::Refused, *hello);
}

void LanSlaveLink::Reset() {
    following_ = false;
    linkedMaster_.reset();
    helloTimer_.stop();
    forget(&client_);
    assembler_ = std::make_unique<ReceiveAssembler>(
        [this](const QByteArray& command) { take(&client_, command); });
}

void LanSlaveLink::Tell(MasterState state, const MasterHello& hello) {
    // The clock and the reports follow a Master once it is known not to be another show's.
    const bool followed = state != MasterState::Refused;
    if (followed && !std::exchange(following_, true) && onFollowing) {
        onFollowing();
    }
    following_ = followed;
    linkedMaster_.reset();
    if (state == MasterState::Confirmed) {
        linkedMaster_ = hello;
    }
    Log(state, hello);
    if (onMaster) {
        onMaster(state, hello);
    }
}

void LanSlaveLink::Log(MasterState state, const MasterHello& hello) {
    const QString where = client_.Host() + QLatin1Char(':') + QString::number(client_.Port());
    switch (state) {
        case MasterState::Confirmed:
            refusalLogged_.clear();
            qCInfo(lcNet).noquote()
                << "the Master on" << where << "is" << printableText(hello.version) << "of the show"
                << printableText(hello.showName);
            return;
        case MasterState::Silent:
            qCWarning(lcNet).noquote() << "connected, but no frameLock Master answers on" << where;
            return;
        case MasterState::Refused: {
            const QString line =
                QStringLiteral(
                    "refused the Master on %1: it plays the show \"%2\", "
                    "this Slave belongs to \"%3\"")
                    .arg(where, printableText(hello.showName), printableText(showName_));
            if (std::exchange(refusalLogged_, line) != line) {
                qCWarning(lcNet).noquote() << line;
            }
            return;
        }
    }
}

#pragma once

#include "app/operator_table.h"
#include "net/command_host_list.h"
#include "net/remote_limits.h"
#include "net/request_guard.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
class RemoteLog;
struct ShowSnapshot;

// The show for show controllers over OSC (UDP), QLab-style: "/framelock/<operation>" with the
// operation's argument as an int (a float that is a whole number, or True/False, does too) runs
// the operator's operation; every such message is answered to its sender with
// "/framelock/reply <address> ok|refused <reason>". "/framelock/subscribe" makes the sender
// receive "/framelock/state" and one "/framelock/screen" per screen at every change, until
// "/framelock/unsubscribe". UDP carries no token: only hosts the Master obeys are heard, and
// nothing at all is said to the others.
//
// liblo's socket is read on the event loop; no thread of liblo's runs.
class OscFront : public QObject {
    Q_OBJECT

public:
    OscFront(const OperatorTable& operators, CommandHostList hosts, const RemoteLimits& limits,
             RemoteLog& log, QObject* parent = nullptr);
    ~OscFront() override;

    // Port 0 takes a free one. False with liblo's reason in *error.
    bool listen(quint16 port, QString* error);
    quint16 port() const;
    // Sends the show to every subscriber.
    void publish(const ShowSnapshot& show);
    // The show a new subscriber is sent at once.
    void setSnapshotSource(std::function<const ShowSnapshot&()> source) {
        snapshot_ = std::move(source);
    }

private:
    struct Subscriber;
    // liblo's handles, opaque here.
    using LoAddress = void*;
    using LoMessage = void*;
    void handle(const QString& path, const char* types, const std::vector<double>& numbers,
                LoMessage message);
    void reply(LoAddress target, const QString& address, bool done, const QString& reason);
    void subscribe(LoAddress source, bool on);
    void sendState(LoAddress target, const ShowSnapshot& show);
    void readDatagrams();

    const OperatorTable& operators_;
    CommandHostList hosts_;
    RemoteLimits limits_;
    RemoteLog& log_;
    HostRequestRate rate_;
    void* server_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::shared_ptr<Subscriber>> subscribers_;
    QSet<QString> refusedHosts_;
    std::function<const ShowSnapshot&()> snapshot_;
};

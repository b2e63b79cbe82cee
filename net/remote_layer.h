#pragma once

#include "net/remote_api.h"
#include "net/remote_limits.h"

#include <QObject>
#include <QStringList>
#include <memory>

class HttpFront;
class OscFront;
class RemoteLog;

// The show from anywhere on the show network, on a LAN Master: the dashboard and the HTTP API
// with its live stream on one port, OSC on another (each 0: off). Every change of the show's
// status goes out to every stream and OSC subscriber, several changes within one turn of the
// event loop as one message.
class RemoteLayer : public QObject {
    Q_OBJECT

public:
    struct Ports {
        quint16 http = 0;
        quint16 osc = 0;
    };

    RemoteLayer(RemoteShow show, const RemoteLimits& limits = {}, QObject* parent = nullptr);
    ~RemoteLayer() override;

    // Opens the ports asked for; port 0 of a front that is asked for takes a free port (tests).
    // Each port that could not be opened is one line of the answer, and a warning in the log.
    QStringList open(Ports ports, bool httpOn, bool oscOn);
    quint16 httpPort() const;
    quint16 oscPort() const;
    int streamCount() const;

private:
    void showChanged();
    void publish();
    QByteArray streamMessage() const;

    RemoteLog* log_;
    RemoteApi api_;
    const ShowStatusModel* status_;
    std::unique_ptr<HttpFront> http_;
    std::unique_ptr<OscFront> osc_;
    RemoteLimits limits_;
    RemoteShow show_;
    qint64 sequence_ = 0;
    bool publishing_ = false;
};

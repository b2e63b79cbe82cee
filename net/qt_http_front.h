#pragma once

#include "net/http_exchange.h"
#include "net/remote_limits.h"
#include "net/request_guard.h"

class RemoteLog;

#include <QAbstractHttpServer>
#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <vector>

// Takes the connections for Qt's HTTP server and holds them to the bounds before the server
// reads a byte: connections per host, the size of each request's head and body, and requests
// per host and second. A connection that breaks one is answered with the status that says why
// and closed; its bytes never reach the server.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    GuardedTcpServer(const RemoteLimits& limits, RemoteLog& log, QObject* parent);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void watch(QTcpSocket* socket, const QString& host);

    RemoteLimits limits_;
    RemoteLog& log_;
    HostRequestRate rate_;
    QHash<QString, QList<QPointer<QTcpSocket>>> connections_;
    // Said once per run of failed accepts.
    bool acceptFailing_ = false;
};

// The remote layer's HTTP front on Qt's HTTP server (a technology preview in Qt 6.4, hence
// behind HttpFront) and Qt's WebSockets for the live stream.
class QtHttpFront : public QAbstractHttpServer, public HttpFront {
    Q_OBJECT

public:
    QtHttpFront(Handlers handlers, const RemoteLimits& limits, RemoteLog& log,
                QObject* parent = nullptr);
    ~QtHttpFront() override;

    bool listen(quint16 port, QString* error) override;
    quint16 port() const override;
    void broadcast(const QByteArray& message) override;
    int streamCount() const override { return static_cast<int>(streams_.size()); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    // A page that stops reading (a tablet asleep with its connection open) must not make the
    // Master hold every message for it: past the backlog bound its messages are skipped, and
    // once it has taken what was queued it is sent the show as it is then.
    struct Stream {
        QPointer<QWebSocket> socket;
        qint64 queued = 0;
        bool missed = false;
    };
    void takeStreams();
    void send(Stream& stream, const QString& message);
    void written(QWebSocket* socket, qint64 bytes);

    Handlers handlers_;
    RemoteLimits limits_;
    RemoteLog& log_;
    QPointer<GuardedTcpServer> tcp_;
    std::vector<Stream> streams_;
};

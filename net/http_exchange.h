#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>
#include <functional>

// One HTTP request as the remote layer sees it, whatever server carried it.
struct HttpRequest {
    QByteArray method;
    QString path;
    QUrlQuery query;
    // Names in lower case.
    QHash<QByteArray, QByteArray> headers;
    QByteArray body;
    // Dotted IPv4.
    QString peer;

    QByteArray header(const QByteArray& lowerName) const { return headers.value(lowerName); }
};

struct HttpReply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    void addHeader(const QByteArray& name, const QByteArray& value) {
        headers.emplace_back(name, value);
    }
};

// What the remote layer needs of an HTTP server: requests answered by one handler, and live
// streams (WebSocket) that the server accepts when the handler's check lets them in, each
// greeted with one message and then sent every message broadcast. Qt's HTTP server is one such
// server; the layer knows nothing else of it, so another can take its place.
class HttpFront {
public:
    struct Handlers {
        std::function<HttpReply(const HttpRequest&)> answer;
        // The stream's opening request (path, Origin, peer); false refuses it.
        std::function<bool(const HttpRequest&)> admitStream;
        std::function<QByteArray()> greeting;
    };

    virtual ~HttpFront() = default;
    // Listens on every IPv4 address; port 0 takes a free one. False with the reason in *error.
    virtual bool listen(quint16 port, QString* error) = 0;
    virtual quint16 port() const = 0;
    virtual void broadcast(const QByteArray& message) = 0;
    virtual int streamCount() const = 0;
};

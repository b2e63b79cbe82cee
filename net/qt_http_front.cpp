#include "net/qt_http_front.h"

#include "net/net_log.h"
#include "net/remote_log.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace {

QString dottedPeer(const QHostAddress& address) {
    bool ipv4 = false;
    const quint32 value = address.toIPv4Address(&ipv4);
    return ipv4 ? QHostAddress(value).toString() : address.toString();
}

// After an accept failed (no descriptors left), connections are taken again this much later.
constexpr int AcceptRetryMs = 1000;
// Hosts whose connections are remembered before the closed ones are swept out.
constexpr qsizetype KeptHosts = 1024;

bool fromOwnMachine(const QHostAddress& address) {
    return address.isLoopback();
}

QByteArray refusal(int status, const char* reason, const QByteArray& text) {
    return QByteArrayLiteral("HTTP/1.1 ") + QByteArray::number(status) + ' ' + reason +
           QByteArrayLiteral("\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: ") +
           QByteArray::number(text.size() + 1) +
           QByteArrayLiteral("\r\nConnection: close\r\n\r\n") + text + '\n';
}

}  // namespace

GuardedTcpServer::GuardedTcpServer(const RemoteLimits& limits, RemoteLog& log, QObject* parent)
    : QTcpServer(parent), limits_(limits), log_(log), rate_(limits.requestsPerSecondPerHost) {
    // Qt stops taking connections for good after an accept that failed for want of descriptors;
    // the dashboard must come back once a flood has gone.
    connect(this, &QTcpServer::acceptError, this, [this] {
        if (!acceptFailing_)
            qCWarning(lcNet).noquote() << "remote: connections not taken:" << errorString();
        acceptFailing_ = true;
        QTimer::singleShot(AcceptRetryMs, this, [this] { resumeAccepting(); });
    });
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto socket = std::make_unique<QTcpSocket>(this);
    if (!socket->setSocketDescriptor(descriptor))
        return;
    const QHostAddress address = socket->peerAddress();
    const QString host = dottedPeer(address);
    const int bound =
        fromOwnMachine(address) ? limits_.connectionsFromOwnMachine : limits_.connectionsPerHost;
    // Counted afresh from the sockets still open: a socket that became a WebSocket has lost
    // every signal connection of ours, so none could tell when it went.
    const auto gone = [](const QPointer<QTcpSocket>& held) {
        return held.isNull() || held->state() == QAbstractSocket::UnconnectedState;
    };
    if (connections_.size() > KeptHosts) {
        for (auto& list : connections_)
            list.removeIf(gone);
        connections_.removeIf([](const auto& entry) { return entry.value().isEmpty(); });
    }
    QList<QPointer<QTcpSocket>>& held = connections_[host];
    held.removeIf(gone);
    if (held.size() >= bound) {
        log_.note(host,
                  QStringLiteral("connection of %1 refused, it holds %2").arg(host).arg(bound));
        socket->abort();
        return;
    }
    acceptFailing_ = false;
    held.append(socket.get());
    watch(socket.get(), host);
    addPendingConnection(socket.release());
}

void GuardedTcpServer::watch(QTcpSocket* socket, const QString& host) {
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    auto guard = std::make_shared<RequestGuard>(limits_.maxHeadBytes, limits_.maxBodyBytes);
    auto refused = std::make_shared<bool>(false);
    // Connected before the HTTP server's own reader, so it sees the bytes first and can take
    // them away from it.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, host, guard, refused] {
        if (*refused) {
            socket->readAll();
            return;
        }
        if (guard->upgraded())
            return;
        const int before = guard->requests();
        const RequestGuard::Verdict verdict = guard->feed(socket->peek(socket->bytesAvailable()));
        QByteArray answer;
        if (verdict == RequestGuard::Verdict::HeadTooLarge) {
            answer = refusal(431, "Request Header Fields Too Large", "request head too large");
        } else if (verdict == RequestGuard::Verdict::BodyTooLarge) {
            answer = refusal(413, "Payload Too Large", "request body too large");
        } else if (verdict == RequestGuard::Verdict::Chunked) {
            answer = refusal(411, "Length Required", "a body needs a Content-Length");
        } else {
            for (int i = before; i < guard->requests() && answer.isEmpty(); ++i) {
                if (!rate_.admit(host))
                    answer = refusal(429, "Too Many Requests", "too many requests, slow down");
            }
        }
        if (answer.isEmpty())
            return;
        log_.note(host, QStringLiteral("request of %1 refused: %2")
                            .arg(host, QString::fromLatin1(answer.first(answer.indexOf('\r')))));
        *refused = true;
        socket->readAll();
        socket->write(answer);
        socket->disconnectFromHost();
    });
}

QtHttpFront::QtHttpFront(Handlers handlers, const RemoteLimits& limits, RemoteLog& log,
                         QObject* parent)
    : QAbstractHttpServer(parent), handlers_(std::move(handlers)), limits_(limits), log_(log) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &QtHttpFront::takeStreams);
}

QtHttpFront::~QtHttpFront() {
    for (const Stream& stream : streams_) {
        if (stream.socket)
            stream.socket->abort();
    }
}

bool QtHttpFront::listen(quint16 port, QString* error) {
    auto tcp = std::make_unique<GuardedTcpServer>(limits_, log_, this);
    if (!tcp->listen(QHostAddress::AnyIPv4, port)) {
        *error = tcp->errorString();
        return false;
    }
    tcp_ = tcp.release();
    bind(tcp_);
    return true;
}

quint16 QtHttpFront::port() const {
    return tcp_ ? tcp_->serverPort() : 0;
}

void QtHttpFront::broadcast(const QByteArray& message) {
    const QString text = QString::fromUtf8(message);
    for (Stream& stream : streams_) {
        if (stream.queued > limits_.maxStreamBacklogBytes)
            stream.missed = true;
        else
            send(stream, text);
    }
}

void QtHttpFront::send(Stream& stream, const QString& message) {
    if (stream.socket)
        stream.queued += stream.socket->sendTextMessage(message);
}

void QtHttpFront::written(QWebSocket* socket, qint64 bytes) {
    for (Stream& stream : streams_) {
        if (stream.socket != socket)
            continue;
        // What is written counts the frames' heads too: the backlog is an estimate, never below 0.
        stream.queued = std::max<qint64>(0, stream.queued - bytes);
        if (stream.queued == 0 && stream.missed) {
            stream.missed = false;
            send(stream, QString::fromUtf8(handlers_.greeting()));
        }
    }
}

namespace {

bool asksForWebSocket(const QHttpServerRequest& request) {
    return request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

}  // namespace

bool QtHttpFront::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // Qt 6.4 offers every request to the handler first and switches one that asks for it to a
    // WebSocket once the handler took it without answering; takeStreams decides whether it may
    // stay.
    if (asksForWebSocket(request))
        return true;
    HttpRequest exchange;
    exchange.method = QByteArray(QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(
                                     static_cast<int>(request.method())))
                          .toUpper();
    exchange.path = request.url().path();
    exchange.query = request.query();
    for (const auto& [name, value] : request.headers())
        exchange.headers.insert(name.toLower(), value);
    exchange.body = request.body();
    exchange.peer = dottedPeer(request.remoteAddress());
    const HttpReply reply = handlers_.answer(exchange);

    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    for (const auto& [name, value] : reply.headers)
        responder.writeHeader(name, value);
    responder.writeBody(reply.body);
    return true;
}

void QtHttpFront::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

void QtHttpFront::takeStreams() {
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> stream = nextPendingWebSocketConnection();
        HttpRequest opening;
        opening.method = "GET";
        opening.path = stream->requestUrl().path();
        opening.peer = dottedPeer(stream->peerAddress());
        opening.headers.insert("host", stream->requestUrl().authority().toUtf8());
        if (!stream->origin().isEmpty())
            opening.headers.insert("origin", stream->origin().toUtf8());
        if (static_cast<int>(streams_.size()) >= limits_.streams ||
            !handlers_.admitStream(opening)) {
            log_.note(opening.peer, QStringLiteral("stream of %1 refused, origin %2")
                                        .arg(opening.peer, stream->origin()));
            stream->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("refused"));
            stream.release()->deleteLater();
            continue;
        }
        stream->setMaxAllowedIncomingFrameSize(static_cast<quint64>(limits_.maxStreamMessageBytes));
        stream->setMaxAllowedIncomingMessageSize(
            static_cast<quint64>(limits_.maxStreamMessageBytes));
        QWebSocket* open = stream.release();
        open->setParent(this);
        connect(open, &QWebSocket::disconnected, this, [this, open] {
            std::erase_if(streams_, [open](const Stream& s) { return s.socket == open; });
            open->deleteLater();
        });
        connect(open, &QWebSocket::bytesWritten, this,
                [this, open](qint64 bytes) { written(open, bytes); });
        streams_.push_back({open});
        send(streams_.back(), QString::fromUtf8(handlers_.greeting()));
    }
}

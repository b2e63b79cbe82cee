#include "http_probe.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QTest>

QJsonObject HttpAnswer::json() const {
    return QJsonDocument::fromJson(body).object();
}

QByteArray httpRequest(const QByteArray& method, const QByteArray& path, const QByteArray& headers,
                       const QByteArray& body) {
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
    if (!body.isEmpty() || method == "POST")
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return request + "\r\n" + body;
}

namespace {

// True once the buffer holds a whole answer, which is then parsed into answer.
bool parse(const QByteArray& buffer, HttpAnswer& answer) {
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.first(headEnd).split('\n');
    answer.status = lines.front().split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            answer.headers.insert(lines[i].first(colon).trimmed().toLower(),
                                  lines[i].sliced(colon + 1).trimmed());
    }
    const qsizetype length = answer.headers.value("content-length").toLongLong();
    if (buffer.size() - headEnd - 4 < length)
        return false;
    answer.body = buffer.sliced(headEnd + 4, length);
    return true;
}

}  // namespace

HttpAnswer httpExchange(quint16 port, const QByteArray& bytes) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    HttpAnswer answer;
    QByteArray buffer;
    bool whole = false;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        buffer += socket.readAll();
        whole = whole || parse(buffer, answer);
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { answer.closed = true; });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] { answer.closed = true; });
    socket.write(bytes);
    (void)QTest::qWaitFor([&] { return whole || answer.closed; }, 10000);
    if (!whole)
        answer.status = parse(buffer, answer) ? answer.status : 0;
    return answer;
}

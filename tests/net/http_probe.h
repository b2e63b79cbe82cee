#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>

// A client that speaks raw HTTP/1.1 to the remote layer over loopback, one connection per
// exchange, so that a test can send what no library would (huge heads, lying lengths).
struct HttpAnswer {
    // 0: the connection closed before a status line came.
    int status = 0;
    QHash<QByteArray, QByteArray> headers;
    QByteArray body;
    bool closed = false;

    QJsonObject json() const;
};

QByteArray httpRequest(const QByteArray& method, const QByteArray& path,
                       const QByteArray& headers = {}, const QByteArray& body = {});
// Writes the bytes and waits (10 s at most) for one whole answer or the connection's end.
HttpAnswer httpExchange(quint16 port, const QByteArray& bytes);

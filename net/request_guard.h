#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <cstdint>

// Follows the bytes of one HTTP connection as they arrive, before the server parses them, and
// says when they break a bound: a request head (request line and headers) longer than allowed,
// a body longer than allowed, or a body sent in chunks (whose length is unknown in advance and
// which no client of ours needs). After a head that asks to switch to a WebSocket, the bytes are
// frames the WebSocket bounds itself, and the guard steps aside.
class RequestGuard {
public:
    enum class Verdict { Fine, HeadTooLarge, BodyTooLarge, Chunked };

    RequestGuard(qsizetype maxHeadBytes, qsizetype maxBodyBytes)
        : maxHead_(maxHeadBytes), maxBody_(maxBodyBytes) {}

    // Fine as long as every byte so far keeps the bounds; once broken, stays broken.
    Verdict feed(QByteArrayView bytes);
    // Request heads completed so far.
    int requests() const { return requests_; }
    bool upgraded() const { return upgraded_; }

private:
    Verdict headEnded();

    qsizetype maxHead_;
    qsizetype maxBody_;
    QByteArray head_;
    qsizetype bodyLeft_ = 0;
    int requests_ = 0;
    bool upgraded_ = false;
    Verdict verdict_ = Verdict::Fine;
};

// Requests per host and second of the monotonic clock, for the rate bound.
class HostRequestRate {
public:
    explicit HostRequestRate(int perSecond) : perSecond_(perSecond) {}
    // Counts one request of the host; false when it is one too many for this second.
    bool admit(const QString& host);

private:
    int perSecond_;
    std::int64_t second_ = -1;
    QHash<QString, int> counts_;
};

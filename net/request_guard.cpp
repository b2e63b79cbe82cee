#include "net/request_guard.h"

#include "app/monotonic_time.h"

#include <QList>

namespace {

const QByteArray HeadEnd = QByteArrayLiteral("\r\n\r\n");

}  // namespace

RequestGuard::Verdict RequestGuard::feed(QByteArrayView bytes) {
    while (verdict_ == Verdict::Fine && !upgraded_ && !bytes.isEmpty()) {
        if (bodyLeft_ > 0) {
            const qsizetype taken = std::min<qsizetype>(bodyLeft_, bytes.size());
            bodyLeft_ -= taken;
            bytes = bytes.sliced(taken);
            continue;
        }
        // The end of the head may straddle two chunks: search from a little before the new bytes.
        const qsizetype searchFrom = std::max<qsizetype>(0, head_.size() - (HeadEnd.size() - 1));
        const qsizetype appended = std::min<qsizetype>(maxHead_ + 1 - head_.size(), bytes.size());
        head_.append(bytes.first(appended));
        const qsizetype end = head_.indexOf(HeadEnd, searchFrom);
        if (end < 0) {
            if (head_.size() > maxHead_)
                verdict_ = Verdict::HeadTooLarge;
            bytes = bytes.sliced(appended);
            continue;
        }
        const qsizetype headBytes = end + HeadEnd.size();
        // What followed the head in this chunk is the body or the next request.
        const qsizetype consumed = appended - (head_.size() - headBytes);
        head_.truncate(headBytes);
        verdict_ = headEnded();
        head_.clear();
        bytes = bytes.sliced(consumed);
    }
    return verdict_;
}

RequestGuard::Verdict RequestGuard::headEnded() {
    ++requests_;
    const QList<QByteArray> lines = head_.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.first(colon).trimmed().toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed();
        if (name == "content-length") {
            bool ok = false;
            const qlonglong length = value.toLongLong(&ok);
            if (!ok || length < 0 || length > maxBody_)
                return Verdict::BodyTooLarge;
            bodyLeft_ = length;
        } else if (name == "transfer-encoding") {
            return Verdict::Chunked;
        } else if (name == "upgrade" && value.toLower() == "websocket") {
            upgraded_ = true;
        }
    }
    return Verdict::Fine;
}

bool HostRequestRate::admit(const QString& host) {
    const std::int64_t second = monotonicMs() / 1000;
    if (second != second_) {
        second_ = second;
        counts_.clear();
    }
    return ++counts_[host] <= perSecond_;
}

#pragma once

#include <QString>
#include <functional>

// A peer machine behind a cable the test can cut: a network namespace joined to this one by a
// veth pair. This side is hostAddress(), the peer peerAddress(); cut() takes the peer's end of
// the link down, so nothing it sends arrives and nothing sent to it is answered, as when a
// machine loses power or its cable is pulled. Needs root (CAP_NET_ADMIN and CAP_SYS_ADMIN);
// failure() says why the link could not be made. Names and addresses are unique per process.
class CuttableLink {
public:
    CuttableLink();
    ~CuttableLink();
    CuttableLink(const CuttableLink&) = delete;
    CuttableLink& operator=(const CuttableLink&) = delete;

    // Empty once the link is up.
    const QString& failure() const { return failure_; }
    QString hostAddress() const;
    QString peerAddress() const;

    // Runs `action` on a thread that lives in the peer's namespace, so the sockets it makes
    // belong to the peer; returns its result (-1 when the thread cannot enter the namespace).
    int inPeer(const std::function<int()>& action) const;
    void cut();

private:
    QString namespace_;
    QString hostInterface_;
    QString peerInterface_;
    int subnet_ = 0;
    QString failure_;
};

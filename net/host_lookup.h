#pragma once

#include <netinet/in.h>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// Looks a host name up without holding the thread that asks: the lookup runs on a thread of its
// own and the answer comes back through the asking thread's event loop. A name server that does
// not answer thus costs a waiting thread, not a frozen window, and ending the program never waits
// for it: an answer that comes after cancel(), after another name was asked for, or after this
// object is gone, is dropped.
//
// Threading: create, use and destroy on one thread with an event loop.
class HostLookup final : public QObject {
    Q_OBJECT
public:
    // Blocking resolution of a name to its first IPv4 address, as the lookup thread runs it.
    using Resolver = std::function<bool(const QByteArray& name, in_addr& address)>;
    using Answer = std::function<void(bool found, in_addr address)>;

    HostLookup();
    ~HostLookup() override;

    // getaddrinfo unless replaced (a test's name server that never answers).
    void setResolver(Resolver resolver);

    // Looks name up and calls answer with the result on this object's thread. Asked again for the
    // name still being looked up, it waits for that lookup instead of starting another, so
    // retries against a silent name server do not pile up threads.
    void start(const QString& name, Answer answer);
    // The answer of the lookup under way, if any, is dropped.
    void cancel();

private:
    struct Job;
    void launch();
    void finish(const std::shared_ptr<Job>& job, bool found, in_addr address);

    Resolver resolver_;
    std::shared_ptr<Job> job_;
    Answer answer_;
};

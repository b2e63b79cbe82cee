#include "net/host_lookup.h"

#include <netdb.h>
#include <sys/socket.h>
#include <mutex>
#include <system_error>
#include <thread>

struct HostLookup::Job {
    QByteArray name;
    std::mutex mutex;
    // Cleared when the lookup that started the job goes away; guarded by mutex.
    HostLookup* receiver = nullptr;
    // Whether the answer is still wanted; only touched on the receiver's thread.
    bool wanted = true;
};

namespace {

bool resolveWithSystem(const QByteArray& name, in_addr& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.constData(), nullptr, &hints, &found) != 0) {
        return false;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

}  // namespace

HostLookup::HostLookup() : resolver_(resolveWithSystem) {}

HostLookup::~HostLookup() {
    if (job_) {
        const std::lock_guard lock(job_->mutex);
        job_->receiver = nullptr;
    }
}

void HostLookup::setResolver(Resolver resolver) {
    resolver_ = std::move(resolver);
}

void HostLookup::start(const QString& name, Answer answer) {
    answer_ = std::move(answer);
    const QByteArray encoded = name.toLocal8Bit();
    if (job_ && job_->name == encoded) {
        job_->wanted = true;
        return;
    }
    if (job_) {
        const std::lock_guard lock(job_->mutex);
        job_->receiver = nullptr;
    }
    job_ = std::make_shared<Job>();
    job_->name = encoded;
    job_->receiver = this;
    try {
        launch();
    } catch (const std::system_error&) {
        // No thread to be had: the name counts as not found, and the owner's retry asks again.
        job_.reset();
        const Answer failed = std::move(answer_);
        answer_ = nullptr;
        failed(false, in_addr{});
    }
}

void HostLookup::launch() {
    std::thread([job = job_, resolver = resolver_] {
        in_addr address{};
        const bool found = resolver(job->name, address);
        const std::lock_guard lock(job->mutex);
        if (job->receiver != nullptr) {
            // Posted while the receiver is known to exist; Qt drops the call if it is destroyed
            // before the event loop gets to it.
            HostLookup* receiver = job->receiver;
            QMetaObject::invokeMethod(
                receiver,
                [receiver, job, found, address] { receiver->finish(job, found, address); },
                Qt::QueuedConnection);
        }
    }).detach();
}

void HostLookup::cancel() {
    if (job_) {
        job_->wanted = false;
    }
}

void HostLookup::finish(const std::shared_ptr<Job>& job, bool found, in_addr address) {
    if (job != job_) {
        return;
    }
    job_.reset();
    if (!job->wanted) {
        return;
    }
    // The answer may start another lookup.
    const Answer answer = std::move(answer_);
    answer_ = nullptr;
    answer(found, address);
}

#include "net/readiness_watcher.h"

#include "net/net_log.h"
#include "net/socket_event.h"
#include "net/win_sock_error.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <exception>

namespace {

// Events handled per wake-up before control returns to the event loop, so a flood on one
// component cannot starve timers and windows; the rest follow on the next wake-up.
constexpr int kEventsPerWakeup = 64;

int pendingSocketError(int socket) {
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    return error == 0 ? 0 : WinSockError::fromErrno(error);
}

bool bytesWaiting(int socket) {
    int count = 0;
    return ::ioctl(socket, FIONREAD, &count) == 0 && count > 0;
}

}  // namespace

ReadinessWatcher::ReadinessWatcher(Handler handler)
    : handler_(std::move(handler)), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
    if (epoll_ < 0) {
        epollError_ = errno;
        return;
    }
    notifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ReadinessWatcher::service);
}

ReadinessWatcher::~ReadinessWatcher() {
    if (epoll_ >= 0) {
        notifier_->setEnabled(false);
        ::close(epoll_);
    }
}

int ReadinessWatcher::control(int operation, int socket, const Registration& registration) {
    epoll_event event{};
    event.data.fd = socket;
    if (registration.events & SocketEvent::Accept) {
        // Level-triggered: one connection is accepted per event, and the event returns while
        // more wait in the backlog.
        event.events = EPOLLIN;
    } else {
        event.events = EPOLLET;
        if (registration.events & SocketEvent::Read) {
            event.events |= EPOLLIN;
        }
        if (registration.events & SocketEvent::Close) {
            event.events |= EPOLLRDHUP;
        }
        if (registration.connecting || registration.writeWanted) {
            event.events |= EPOLLOUT;
        }
    }
    return ::epoll_ctl(epoll_, operation, socket, &event) == 0 ? 0 : errno;
}

int ReadinessWatcher::watch(int socket, int events) {
    if (events == 0) {
        unwatch(socket);
        return 0;
    }
    if (epoll_ < 0) {
        return epollError_;
    }
    auto found = registrations_.find(socket);
    Registration registration = found != registrations_.end() ? found->second : Registration{};
    registration.events = events;
    registration.connecting = (events & SocketEvent::Connect) != 0;
    const bool known = found != registrations_.end();
    if (!known) {
        registration.generation = ++nextGeneration_;
    }
    if (const int error = control(known ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, socket, registration)) {
        return error;
    }
    registrations_[socket] = registration;
    return 0;
}

void ReadinessWatcher::unwatch(int socket) {
    if (registrations_.erase(socket) > 0) {
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, socket, nullptr);
    }
}

void ReadinessWatcher::setWriteWanted(int socket, bool wanted) {
    auto found = registrations_.find(socket);
    if (found == registrations_.end() || found->second.writeWanted == wanted) {
        return;
    }
    found->second.writeWanted = wanted;
    control(EPOLL_CTL_MOD, socket, found->second);
}

bool ReadinessWatcher::stillWatched(int socket, std::uint64_t generation) const {
    auto found = registrations_.find(socket);
    return found != registrations_.end() && found->second.generation == generation;
}

void ReadinessWatcher::readAgainLater(int socket) {
    auto found = registrations_.find(socket);
    if (found != registrations_.end()) {
        readAgain_.emplace_back(socket, found->second.generation);
    }
    if (holds_ == 0) {
        rearm();
    }
}

void ReadinessWatcher::rearm() {
    std::vector<std::pair<int, std::uint64_t>> sockets;
    sockets.swap(readAgain_);
    for (const auto& [socket, generation] : sockets) {
        if (stillWatched(socket, generation)) {
            control(EPOLL_CTL_MOD, socket, registrations_.at(socket));
        }
    }
}

void ReadinessWatcher::Hold() {
    ++holds_;
}

void ReadinessWatcher::Release() {
    if (--holds_ > 0) {
        return;
    }
    rearm();
    if (notifier_ != nullptr && !notifier_->isEnabled()) {
        notifier_->setEnabled(true);
    }
}

void ReadinessWatcher::service() {
    if (holds_ > 0) {
        // Reached from a nested event loop inside a handler: what is ready waits in the epoll set
        // until the handler has returned. The notifier is level-triggered and would fire on every
        // turn of that loop, so it sleeps until then.
        notifier_->setEnabled(false);
        return;
    }
    QPointer<ReadinessWatcher> alive(this);
    Hold();
    for (int handled = 0; handled < kEventsPerWakeup && alive; ++handled) {
        epoll_event event{};
        if (::epoll_wait(epoll_, &event, 1, 0) != 1) {
            break;
        }
        try {
            deliver(event.data.fd, event.events);
        } catch (const std::exception& failure) {
            // A handler's failure must not unwind through the event loop; it ends this event only.
            qCCritical(lcNet) << "socket event handler failed:" << failure.what();
        }
    }
    if (alive) {
        Release();
    }
}

void ReadinessWatcher::deliver(int socket, std::uint32_t ready) {
    auto found = registrations_.find(socket);
    if (found == registrations_.end()) {
        return;
    }
    const Registration registration = found->second;
    const std::uint64_t generation = registration.generation;
    // The handler may destroy this watcher with its component; it runs from a copy.
    const Handler handler = handler_;
    QPointer<ReadinessWatcher> alive(this);
    auto stillOurs = [&] { return alive && stillWatched(socket, generation); };

    // Reading SO_ERROR clears it, so a reset is reported once, by Connect or Close, and a receive
    // that follows still returns the bytes that arrived before it.
    int error = (ready & EPOLLERR) ? pendingSocketError(socket) : 0;
    if (error == 0 && found->second.deferredError != 0) {
        error = found->second.deferredError;
    }

    if (registration.events & SocketEvent::Accept) {
        handler(socket, SocketEvent::Accept, error);
        return;
    }
    if (registration.connecting) {
        if (!(ready & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
            return;
        }
        if (error != 0) {
            unwatch(socket);
        } else {
            found->second.connecting = false;
            control(EPOLL_CTL_MOD, socket, found->second);
        }
        handler(socket, SocketEvent::Connect, error);
        if (error != 0 || !stillOurs()) {
            return;
        }
    }
    if (error == 0 && (ready & EPOLLOUT) && registrations_.at(socket).writeWanted) {
        handler(socket, SocketEvent::Write, 0);
        if (!stillOurs()) {
            return;
        }
    }
    if ((ready & EPOLLIN) && (registration.events & SocketEvent::Read) && bytesWaiting(socket)) {
        handler(socket, SocketEvent::Read, 0);
        if (!stillOurs()) {
            return;
        }
        // Bytes the handler left for a later turn come before the end of the connection.
        const bool more =
            std::any_of(readAgain_.begin(), readAgain_.end(),
                        [socket](const auto& entry) { return entry.first == socket; });
        if (more) {
            registrations_.at(socket).deferredError = error;
            return;
        }
    }
    if ((ready & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) &&
        (registration.events & SocketEvent::Close)) {
        unwatch(socket);
        handler(socket, SocketEvent::Close, error);
    }
}

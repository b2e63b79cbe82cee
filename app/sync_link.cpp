#include "app/sync_link.h"

#include "app/app_log.h"

#include <algorithm>

void SyncLink::take(Peer from, const QByteArray& command) {
    waiting_.push_back({from, command});
}

void SyncLink::run() {
    if (running_) {
        return;
    }
    running_ = true;
    // Reset even when a command throws, so later commands are not held for ever.
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{running_};
    while (!waiting_.empty()) {
        const Waiting next = std::move(waiting_.front());
        waiting_.pop_front();
        handle(next.from, next.command);
    }
}

void SyncLink::forget(Peer peer) {
    std::erase_if(waiting_, [peer](const Waiting& waiting) { return waiting.from == peer; });
}

void SyncLink::handle(Peer from, const QByteArray& command) {
    if (onCommand) {
        onCommand(command, from);
    }
}

void SyncLink::lamp(Lamp which) const {
    if (onLamp) {
        onLamp(which);
    }
}

void SyncLink::bytesArrived(Peer from, QByteArrayView bytes) const {
    lamp(Lamp::Received);
    if (onBytes) {
        onBytes(from, bytes);
    }
}

void SyncLink::logSent(QByteArrayView command) {
    qCInfo(lcSync).noquote() << "sent" << command.toByteArray();
}

#include "app/receive_assembler.h"

#include <utility>

void ReceiveAssembler::Receive(Link link, QByteArrayView chunk) {
    if (dispatching_) {
        queued_.push_back({link, chunk.toByteArray(), false});
        return;
    }
    dispatching_ = true;
    // Reset even when a command throws, so later chunks are not queued for ever.
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{dispatching_};
    Assemble(link, chunk);
    while (!queued_.empty()) {
        const Queued next = std::move(queued_.front());
        queued_.pop_front();
        if (next.ends) {
            partial_.erase(next.link);
        } else {
            Assemble(next.link, next.chunk);
        }
    }
}

void ReceiveAssembler::EndLink(Link link) {
    if (dispatching_) {
        queued_.push_back({link, QByteArray(), true});
        return;
    }
    partial_.erase(link);
}

QByteArray ReceiveAssembler::ReceiveBuffer(Link link) const {
    const auto found = partial_.find(link);
    return found != partial_.end() ? found->second : QByteArray();
}

void ReceiveAssembler::Assemble(Link link, QByteArrayView chunk) {
    // A command that runs here queues whatever arrives meanwhile, so the frames change only in
    // this loop.
    auto frame = partial_.find(link);
    for (const char c : chunk) {
        if (c == '_') {
            frame = partial_.insert_or_assign(link, QByteArray()).first;
        } else if (frame == partial_.end()) {
            continue;
        } else if (c == '*') {
            const QByteArray command = std::move(frame->second);
            partial_.erase(frame);
            frame = partial_.end();
            dispatch_(command);
        } else if (frame->second.size() < MaxFrameLength) {
            frame->second.append(c);
        } else {
            // Overlong: the rest of this frame, up to the next "_", is noise.
            partial_.erase(frame);
            frame = partial_.end();
        }
    }
}

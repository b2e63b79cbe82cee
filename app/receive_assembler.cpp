#include "app/receive_assembler.h"

#include <utility>

void ReceiveAssembler::Receive(QByteArrayView chunk) {
    if (dispatching_) {
        queued_.emplace_back(chunk.toByteArray());
        return;
    }
    dispatching_ = true;
    // Reset even when a command throws, so later chunks are not queued for ever.
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{dispatching_};
    Assemble(chunk);
    while (!queued_.empty()) {
        const QByteArray next = std::move(queued_.front());
        queued_.pop_front();
        Assemble(next);
    }
}

void ReceiveAssembler::Assemble(QByteArrayView chunk) {
    for (const char c : chunk) {
        if (c == '_') {
            inFrame_ = true;
            receiveBuffer_.clear();
        } else if (!inFrame_) {
            continue;
        } else if (c == '*') {
            const QByteArray command = std::exchange(receiveBuffer_, QByteArray());
            inFrame_ = false;
            dispatch_(command);
        } else if (receiveBuffer_.size() < MaxFrameLength) {
            receiveBuffer_.append(c);
        } else {
            // Overlong: the rest of this frame, up to the next "_", is noise.
            inFrame_ = false;
            receiveBuffer_ = QByteArray();
        }
    }
}

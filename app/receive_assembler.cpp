#include "app/receive_assembler.h"

#include <utility>

void ReceiveAssembler::Receive(QByteArrayView chunk) {
    for (const char c : chunk) {
        if (c == '_') {
            partial_.emplace();
        } else if (!partial_) {
            continue;
        } else if (c == '*') {
            const QByteArray command = std::move(*partial_);
            partial_.reset();
            dispatch_(command);
        } else if (partial_->size() < MaxFrameLength) {
            partial_->append(c);
        } else {
            // Overlong: the rest of this frame, up to the next "_", is noise.
            partial_.reset();
        }
    }
}

#include "net/pending_bytes.h"

#include <algorithm>

bool PendingBytes::append(const char* bytes, std::size_t length) {
    if (length > capacity_ - size()) {
        return false;
    }
    if (sent_ > 0) {
        bytes_.remove(0, static_cast<qsizetype>(sent_));
        sent_ = 0;
    }
    bytes_.append(bytes, static_cast<qsizetype>(length));
    return true;
}

void PendingBytes::consume(std::size_t count) {
    sent_ += std::min(count, size());
    if (sent_ == static_cast<std::size_t>(bytes_.size())) {
        clear();
    }
}

void PendingBytes::clear() {
    bytes_.clear();
    sent_ = 0;
}

#pragma once

#include <QByteArray>
#include <cstddef>

// Bytes that the kernel did not take yet, for one connection, in sending order. Capped, so a
// peer that stops reading cannot grow the sender's memory without bound.
class PendingBytes {
public:
    static constexpr std::size_t kDefaultCapacity = 64 * 1024;

    explicit PendingBytes(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    bool empty() const { return size() == 0; }
    std::size_t size() const { return static_cast<std::size_t>(bytes_.size()) - sent_; }
    // The unsent bytes, oldest first; valid until the next append, consume or clear.
    const char* data() const { return bytes_.constData() + sent_; }

    // Queues the bytes; false (and nothing queued) when they would exceed the capacity.
    bool append(const char* bytes, std::size_t length);
    // Marks the first `count` unsent bytes as sent.
    void consume(std::size_t count);
    void clear();

private:
    std::size_t capacity_;
    QByteArray bytes_;
    // Bytes at the front of bytes_ already sent; compacted away on append.
    std::size_t sent_ = 0;
};

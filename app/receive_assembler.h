#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <optional>

// Collects the Sync commands of one connection's byte stream (a TCP connection, a serial line): a
// command is the text between "_" and "*". Bytes outside a frame are noise and dropped; a "_"
// inside a frame discards the partial command and starts a new one. A frame may arrive in any
// number of pieces. Each connection has an assembler of its own, so the bytes of two peers never
// join into one command, and a frame from one peer (a Slave's report) cannot cut short the
// command another peer is halfway through; a new connection starts with a new one.
//
// A frame longer than MaxFrameLength is discarded whole and the assembler waits for the next
// "_", so a peer that never sends "*" cannot make it grow.
class ReceiveAssembler {
public:
    static constexpr qsizetype MaxFrameLength = 1024;
    using Dispatch = std::function<void(const QByteArray& command)>;

    explicit ReceiveAssembler(Dispatch dispatch) : dispatch_(std::move(dispatch)) {}

    // Takes one chunk; hands on every command it completes, in order. The dispatch must not call
    // back into this assembler (the links queue the commands and run them afterwards).
    void Receive(QByteArrayView chunk);

    bool InFrame() const { return partial_.has_value(); }
    QByteArray ReceiveBuffer() const { return partial_.value_or(QByteArray()); }

private:
    Dispatch dispatch_;
    // The frame the stream is in, up to its last byte received; none outside a frame.
    std::optional<QByteArray> partial_;
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <deque>
#include <functional>

// Collects the Sync commands of the byte stream that every link delivers: a command is the text
// between "_" and "*". Bytes outside a frame are noise and dropped; a "_" inside a frame
// discards the partial command and starts a new one. One assembler serves all links of a window,
// so a frame may arrive in any number of pieces, from any link.
//
// A frame longer than MaxFrameLength is discarded whole and the assembler waits for the next
// "_", so a peer that never sends "*" cannot make it grow.
//
// Chunks are handled one after another, never inside one another: a chunk that arrives while a
// command of an earlier chunk runs (a modal box runs a nested event loop) waits until that
// command has returned. User-interface thread only.
class ReceiveAssembler {
public:
    static constexpr qsizetype MaxFrameLength = 1024;
    using Dispatch = std::function<void(const QByteArray& command)>;

    explicit ReceiveAssembler(Dispatch dispatch) : dispatch_(std::move(dispatch)) {}

    // Takes one chunk; dispatches every command it completes, in order, unless called from
    // inside a dispatch, in which case the chunk is queued and handled when that returns.
    void Receive(QByteArrayView chunk);

    bool InFrame() const { return inFrame_; }
    const QByteArray& ReceiveBuffer() const { return receiveBuffer_; }
    // Chunks waiting for the running dispatch to return.
    std::size_t QueuedChunks() const { return queued_.size(); }

private:
    void Assemble(QByteArrayView chunk);

    Dispatch dispatch_;
    bool inFrame_ = false;
    QByteArray receiveBuffer_;
    bool dispatching_ = false;
    std::deque<QByteArray> queued_;
};

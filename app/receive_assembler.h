#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <deque>
#include <functional>
#include <map>

// Collects the Sync commands of the byte streams that the links deliver: a command is the text
// between "_" and "*". Bytes outside a frame are noise and dropped; a "_" inside a frame
// discards the partial command and starts a new one. Each link (a TCP connection, the serial
// port) is framed on its own: a frame may arrive in any number of pieces, but only from its own
// link, so the bytes of two peers never join into one command, and a frame from one peer (a
// Slave's report) cannot cut short the command another peer is halfway through.
//
// A frame longer than MaxFrameLength is discarded whole and the link waits for the next "_", so
// a peer that never sends "*" cannot make it grow.
//
// Chunks are handled one after another, never inside one another, whatever their link: a chunk
// that arrives while a command of an earlier chunk runs (a modal box runs a nested event loop)
// waits until that command has returned. User-interface thread only.
class ReceiveAssembler {
public:
    static constexpr qsizetype MaxFrameLength = 1024;
    // Names a link: an address that is the link's alone while it is open (its connection
    // object). A link that ends must be ended here, so that one opened later at the same address
    // starts clean.
    using Link = const void*;
    using Dispatch = std::function<void(const QByteArray& command)>;

    explicit ReceiveAssembler(Dispatch dispatch) : dispatch_(std::move(dispatch)) {}

    // Takes one chunk of a link; dispatches every command it completes, in order, unless called
    // from inside a dispatch, in which case the chunk is queued and handled when that returns.
    void Receive(Link link, QByteArrayView chunk);
    // A chunk of the one link without a name (a single source).
    void Receive(QByteArrayView chunk) { Receive(nullptr, chunk); }
    // The link closed, or a new one opens at its address: its partial frame is dropped, after
    // its chunks still queued have been handled.
    void EndLink(Link link);

    bool InFrame(Link link = nullptr) const { return partial_.contains(link); }
    QByteArray ReceiveBuffer(Link link = nullptr) const;
    // Chunks (and ends of links) waiting for the running dispatch to return.
    std::size_t QueuedChunks() const { return queued_.size(); }

private:
    struct Queued {
        Link link;
        QByteArray chunk;
        bool ends;
    };
    void Assemble(Link link, QByteArrayView chunk);

    Dispatch dispatch_;
    // The frame each link is in, up to its last byte received; a link outside a frame has none.
    std::map<Link, QByteArray> partial_;
    bool dispatching_ = false;
    std::deque<Queued> queued_;
};

#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "serial/com_types.h"

class TComPort;

// What the event thread watches, fixed when the port opens.
struct TComWatch {
    int fd = -1;
    // Event flags (ComEventFlag) selected at Open.
    std::uint32_t mask = 0;
    TSyncMethod syncMethod = TSyncMethod::smThreadSync;
    // Modem lines (CTS, DSR, RLSD, ring) and the driver's error counters cannot wake a poll().
    // They are sampled every few milliseconds, but only when one of their events is selected
    // and its handler was assigned at Open; a device without them stops being sampled.
    bool sampleLines = false;
    bool sampleCounters = false;
    bool watchTxEmpty = false;
    bool watchRx80Full = false;
    quint32 inputSize = 1024;
    // A tty cannot report a particular byte without handing it over, so for evRxFlag (selected
    // with its handler assigned) the thread itself takes received bytes into its input queue,
    // where ReadStr and BytesWaiting find them first.
    bool captureInput = false;
    quint8 eventChar = 0;
};

// The background thread of an open port. It sleeps in epoll_wait() on the device and on its
// stop signal and hands each batch of line events to the port by the port's SyncMethod:
// smThreadSync and smWindowSync run the handlers on the port's thread while this thread
// waits; smNone runs them here. A handler that throws is reported to the port
// (TComPort::ReportHandlerFailure) and the thread goes on serving. A device that hangs up (USB
// adapter pulled) or a failed wait ends the thread; it then calls `ended`, on this thread and
// while the port still exists, so that the port can close itself.
class TComThread {
public:
    // Prepares the thread's descriptors. Throws std::system_error when the kernel refuses them.
    // `ended` is called when the body returns for any reason but Stop.
    TComThread(TComPort& port, const TComWatch& watch, std::function<void()> ended);
    // Stops the thread (see Stop).
    ~TComThread();

    // Starts the thread; called once the port holds this object, because with smNone the first
    // handler may run at once, on the new thread, and reach the port's thread object (BytesWaiting,
    // ReadStr, Close). Throws std::system_error when no thread can be created.
    void Start();

    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Raises the stop signal and waits until the body has returned. While it waits, it runs a
    // hand-off that the thread has posted, so Close can never deadlock against the thread.
    // Called from a handler that this thread is waiting for (or, with smNone, on this thread
    // itself), it cannot wait: the thread is then left to end on its own as soon as the
    // handler returns, and touches neither the port nor the device any more.
    void Stop();

    // False once the body has returned (stop, hang-up or failed wait).
    bool Running() const;

    // WriteStr reports each write, so the thread can report the output queue running empty.
    void TransmitStarted();
    // The input queue size in bytes, for the 80 % mark (and the limit of captured input).
    void SetInputSize(quint32 bytes);
    void SetEventChar(quint8 value);

    // With captureInput: bytes taken from the device and not yet read, oldest first. The
    // notice descriptor becomes readable whenever bytes are added; ClearInputNotice resets it.
    bool CapturesInput() const;
    int InputHeld() const;
    QByteArray TakeInput(int maxBytes);
    int InputNoticeFd() const;
    void ClearInputNotice();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

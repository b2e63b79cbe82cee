#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "serial/com_device_paths.h"
#include "serial/com_settings.h"
#include "serial/com_types.h"
#include "serial/tty_device.h"

class TComEventWindow;
class TComThread;

using TComNotifyEvent = std::function<void(QObject* sender)>;
using TRxCharEvent = std::function<void(QObject* sender, int count)>;
using TSignalEvent = std::function<void(QObject* sender, bool onOff)>;
using TErrorEvent = std::function<void(QObject* sender, TComErrors errors)>;
using TExceptionEvent = std::function<void(QObject* sender, const QString& message)>;

// One serial line: opens the device that Port names, applies the line settings, writes and
// reads byte strings and watches line events on a background thread (TComThread).
//
// Threading: create, open, close and configure the port on one thread (the user-interface
// thread, where the port lives). Handlers run on that thread too, unless SyncMethod is smNone,
// which runs them on the event thread. Every failure raises EComPort.
//
// What a handler may do: read, write, close or reopen its port, assign handlers, run a nested
// event loop (a modal box), and destroy the port outright; each is called from a copy, and the
// rest of the batch of events is then dropped. An exception it raises is logged and handed to
// OnException; the event thread goes on serving. When the device goes away (a USB adapter
// pulled, the far end of a line hung up) the port closes itself: Connected turns false, the
// device is released (a re-plugged adapter gets its old name back) and OnClose is raised on
// the port's thread, as after Close.
//
// Linux: the device is the path that DevicePaths gives for DeviceName ("COM1" → /dev/ttyS0
// unless mapped). Modem-line and line-error events are sampled (see TComWatch); whether they
// are watched is decided at Open from Events and the handlers assigned at that moment.
// A tty has no event character: for evRxFlag the event thread takes received bytes into its
// own input queue, which ReadStr and BytesWaiting include (see TComWatch::captureInput).
class TComPort : public QObject {
    Q_OBJECT
    Q_PROPERTY(ComTypes::TBaudRate BaudRate READ BaudRate WRITE SetBaudRate)
    Q_PROPERTY(ComTypes::TPortType Port READ Port WRITE SetPort)
    Q_PROPERTY(TComParity* Parity READ Parity WRITE SetParity)
    Q_PROPERTY(ComTypes::TStopBits StopBits READ StopBits WRITE SetStopBits)
    Q_PROPERTY(ComTypes::TDataBits DataBits READ DataBits WRITE SetDataBits)
    Q_PROPERTY(bool DiscardNull READ DiscardNull WRITE SetDiscardNull)
    Q_PROPERTY(quint8 EventChar READ EventChar WRITE SetEventChar)
    Q_PROPERTY(ComTypes::TEvents Events READ Events WRITE SetEvents)
    Q_PROPERTY(TComBuffer* Buffer READ Buffer WRITE SetBuffer)
    Q_PROPERTY(TComFlowControl* FlowControl READ FlowControl WRITE SetFlowControl)
    Q_PROPERTY(TComTimeouts* Timeouts READ Timeouts WRITE SetTimeouts)
    Q_PROPERTY(ComTypes::TSyncMethod SyncMethod READ SyncMethod WRITE SetSyncMethod)

public:
    explicit TComPort(QObject* owner = nullptr);
    ~TComPort() override;

    // Properties. A setter given the current value does nothing; a new value is stored and,
    // while the port is open, applied at once (line settings; Port closes and reopens).
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    TPortType Port() const { return port_; }
    void SetPort(TPortType value);
    TComParity* Parity() const { return parity_; }
    void SetParity(const TComParity* value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    // Received zero bytes are dropped.
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    // The byte whose arrival reports evRxFlag.
    quint8 EventChar() const { return eventChar_; }
    void SetEventChar(quint8 value);
    // Takes effect at the next Open.
    TEvents Events() const { return events_; }
    void SetEvents(TEvents value);
    TComBuffer* Buffer() const { return buffer_; }
    void SetBuffer(const TComBuffer* value);
    TComFlowControl* FlowControl() const { return flowControl_; }
    void SetFlowControl(const TComFlowControl* value);
    TComTimeouts* Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts* value);
    // Fixed while open: a new value then raises error 14.
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);

    // Where each "COMn" lives on this machine.
    const TComDevicePaths& DevicePaths() const { return devicePaths_; }
    void SetDevicePaths(const TComDevicePaths& paths) { devicePaths_ = paths; }

    TRxCharEvent OnRxChar;
    TComNotifyEvent OnTxEmpty;
    TComNotifyEvent OnBreak;
    TComNotifyEvent OnRing;
    TSignalEvent OnCTSChange;
    TSignalEvent OnDSRChange;
    TSignalEvent OnRLSDChange;
    TComNotifyEvent OnRxFlag;
    TErrorEvent OnError;
    TComNotifyEvent OnOpen;
    TComNotifyEvent OnClose;
    TComNotifyEvent OnRx80Full;
    // A handler raised an exception; message is its text. Raised where that handler ran (the
    // port's thread, or the event thread with smNone); the thread goes on serving.
    TExceptionEvent OnException;

    bool Connected() const { return connected_; }
    // The port closed itself because its device went away (rather than by Close); read in
    // OnClose to tell the two apart. False again once the port is open.
    bool DeviceLost() const { return deviceLost_; }

    // Opens the device, applies every setting and starts the event thread when Events is not
    // empty. Does nothing when already open.
    void Open();
    // Stops the event thread and closes the device. Does nothing when closed. A write returns
    // once the kernel holds the bytes, so bytes still queued get the time they need on the line
    // (DrainTimeMs) to leave before the rest is discarded; unread input is discarded.
    // Called from a handler (or while one waits in a nested event loop), it returns at once
    // and the event thread ends by itself when the handler returns.
    void Close();

    // Writes all bytes and returns how many the kernel took before the write time-out
    // (WriteTotalMultiplier × length + WriteTotalConstant ms; both 0: no limit). A device
    // that has gone raises error 2.
    int WriteStr(const QByteArray& str);
    // Reads up to count bytes as Timeouts say (by default: at once, what has arrived);
    // str receives exactly the bytes read and the result is their number.
    int ReadStr(QByteArray& str, int count);
    // Bytes waiting in the input queue.
    int BytesWaiting() const;
    // Modem lines now.
    TLineSignals LineSignals() const;
    // Line errors since the last call (or since Open); parity errors only while Parity.Check.
    TComErrors TakeLineErrors();
    // Ends a WriteStr or ReadStr that waits on another thread; it fails as aborted.
    void AbortPending();
    // "COM1" … "COM8".
    QString DeviceName() const;
    // How long Close waits for `queuedBytes` still in the output queue: their time on the line
    // at the configured rate and framing, plus a little slack for driver and adapter, and never
    // more than 2 s (a handshake held off by the peer would keep them there for ever).
    int DrainTimeMs(int queuedBytes) const;

    // Logs a handler's exception and raises OnException. Never throws.
    void ReportHandlerFailure(const std::exception_ptr& failure) noexcept;

    // The kernel's line settings for the stored values; raises EComPort 7 for a combination
    // Linux cannot make (1.5 stop bits without 5 data bits, 2 with 5, DSR/DTR handshake).
    Tty::LineConfig LineConfig() const;

    // Apply the stored settings to the open device; each does nothing while closed.
    virtual void ApplySettings();
    void ApplyLineSettings();
    void ApplyTimeouts();
    void ApplyBufferSizes();

    // Calls the assigned handler of each event in the word, in the fixed dispatch order; the
    // extra value (count, line state, errors) is fetched only for an assigned handler.
    void RunEventHandlers(std::uint32_t eventWord);

    // Present while open with SyncMethod smWindowSync and an event thread.
    TComEventWindow* EventWindow() const { return eventWindow_.get(); }
    // An event thread was started at Open and has not ended (stop, hang-up, handler failure).
    bool EventThreadRunning() const;
    bool HasEventThread() const { return thread_ != nullptr; }

protected:
    virtual void CreatePortHandle();
    virtual void DestroyPortHandle();

private:
    struct TimeoutValues {
        std::uint32_t readInterval;
        std::uint32_t readMultiplier;
        std::uint32_t readConstant;
        std::uint32_t writeMultiplier;
        std::uint32_t writeConstant;
    };

    void CreateThread();
    // The event thread of the opening numbered `opening` ended without Close: closes the port.
    void EventThreadEnded(std::uint64_t opening);
    void CloseDevice(bool deviceLost);
    // Waits until the device is ready for the given poll events, `notice` (a descriptor, or
    // -1) becomes readable, the deadline passes (-1: no deadline, in ms of the steady clock)
    // or AbortPending is called. Returns false on time-out; throws EComPort(errorCode) on
    // failure or abort.
    bool WaitReady(short events, int notice, std::int64_t deadline, std::uint64_t generation,
                   int errorCode) const;
    QByteArray FilterReceived(QByteArray raw);
    void DrainOutput();
    TimeoutValues CurrentTimeouts() const;

    TBaudRate baudRate_ = TBaudRate::br9600;
    TPortType port_ = TPortType::COM1;
    TStopBits stopBits_ = TStopBits::sbOneStopBit;
    TDataBits dataBits_ = TDataBits::dbEight;
    bool discardNull_ = false;
    quint8 eventChar_ = 0;
    TEvents events_ = ComTypes::AllEvents;
    TSyncMethod syncMethod_ = TSyncMethod::smThreadSync;
    TComParity* parity_;
    TComFlowControl* flowControl_;
    TComTimeouts* timeouts_;
    TComBuffer* buffer_;
    TComDevicePaths devicePaths_;

    int fd_ = -1;
    bool connected_ = false;
    bool closing_ = false;
    bool deviceLost_ = false;
    bool rtsToggleOn_ = false;
    std::unique_ptr<TComThread> thread_;
    std::unique_ptr<TComEventWindow> eventWindow_;
    // Counts the event threads started, so a late notice of an ended one is told from the next.
    std::uint64_t openings_ = 0;

    // Shared with the event thread under smNone, where handlers read and write from there.
    mutable std::mutex mutex_;
    TimeoutValues appliedTimeouts_{};
    Tty::Counters takenCounters_;
    // With PARMRK, an error mark may be split across two reads; its start waits here.
    QByteArray pendingMark_;

    // AbortPending wakes waiting reads and writes through this eventfd and the generation.
    int abortFd_ = -1;
    std::atomic<std::uint64_t> abortGeneration_{0};
};

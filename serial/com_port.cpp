#include "serial/com_port.h"

#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "serial/com_error.h"
#include "serial/com_event_flags.h"
#include "serial/com_event_window.h"
#include "serial/com_thread.h"
#include "serial/parity_marks.h"
#include "serial/serial_log.h"

namespace {

constexpr std::uint32_t kAllBits = 0xFFFFFFFFU;
// Close never waits longer than this for written bytes to leave: with the handshake held off by
// the peer the queue would never drain.
constexpr std::int64_t kMaxDrainMs = 2000;
// Beyond the bytes' time on the line: the driver's and a USB adapter's latency (16 ms for the
// common FTDI chips) and the scheduler.
constexpr std::int64_t kDrainSlackMs = 20;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t Deadline(std::uint64_t totalMs) {
    return NowMs() + static_cast<std::int64_t>(std::min<std::uint64_t>(totalMs, 1ULL << 40));
}

// A handler runs from a copy: it may assign itself anew or destroy the port.
template <typename Handler, typename... Args>
void CallCopy(const Handler& handler, Args&&... args) {
    const Handler call = handler;
    call(std::forward<Args>(args)...);
}

Tty::Parity ParityOf(TParityBits bits) {
    switch (bits) {
        case TParityBits::prNone:
            return Tty::Parity::None;
        case TParityBits::prOdd:
            return Tty::Parity::Odd;
        case TParityBits::prEven:
            return Tty::Parity::Even;
        case TParityBits::prMark:
            return Tty::Parity::Mark;
        case TParityBits::prSpace:
            return Tty::Parity::Space;
    }
    return Tty::Parity::None;
}

}  // namespace

TComPort::TComPort(QObject* owner)
    : QObject(owner),
      parity_(new TComParity(this, this)),
      flowControl_(new TComFlowControl(this, this)),
      timeouts_(new TComTimeouts(this, this)),
      buffer_(new TComBuffer(this, this)) {
    parity_->setObjectName(QStringLiteral("Parity"));
    flowControl_->setObjectName(QStringLiteral("FlowControl"));
    timeouts_->setObjectName(QStringLiteral("Timeouts"));
    buffer_->setObjectName(QStringLiteral("Buffer"));
}

TComPort::~TComPort() {
    try {
        Close();
    } catch (const EComPort& e) {
        qCWarning(lcSerial) << DeviceName() << "close failed while destroying:" << e.what();
        thread_.reset();
        eventWindow_.reset();
        DestroyPortHandle();
    }
}

void TComPort::SetBaudRate(TBaudRate value) {
    if (baudRate_ == value) {
        return;
    }
    baudRate_ = value;
    ApplyLineSettings();
}

void TComPort::SetPort(TPortType value) {
    if (port_ == value) {
        return;
    }
    port_ = value;
    if (connected_) {
        Close();
        Open();
    }
}

void TComPort::SetParity(const TComParity* value) {
    parity_->Assign(value);
}

void TComPort::SetStopBits(TStopBits value) {
    if (stopBits_ == value) {
        return;
    }
    stopBits_ = value;
    ApplyLineSettings();
}

void TComPort::SetDataBits(TDataBits value) {
    if (dataBits_ == value) {
        return;
    }
    dataBits_ = value;
    ApplyLineSettings();
}

void TComPort::SetDiscardNull(bool value) {
    if (discardNull_ == value) {
        return;
    }
    discardNull_ = value;
    ApplyLineSettings();
}

void TComPort::SetEventChar(quint8 value) {
    if (eventChar_ == value) {
        return;
    }
    eventChar_ = value;
    ApplyLineSettings();
}

void TComPort::SetEvents(TEvents value) {
    events_ = value;
}

void TComPort::SetBuffer(const TComBuffer* value) {
    buffer_->Assign(value);
}

void TComPort::SetFlowControl(const TComFlowControl* value) {
    flowControl_->Assign(value);
}

void TComPort::SetTimeouts(const TComTimeouts* value) {
    timeouts_->Assign(value);
}

void TComPort::SetSyncMethod(TSyncMethod value) {
    if (syncMethod_ == value) {
        return;
    }
    if (connected_) {
        throw EComPort(ComErrorCode::SyncMethodWhileConnected);
    }
    syncMethod_ = value;
}

QString TComPort::DeviceName() const {
    return ComDeviceName(port_);
}

void TComPort::Open() {
    if (connected_) {
        return;
    }
    CreatePortHandle();
    connected_ = true;
    deviceLost_ = false;
    try {
        ApplySettings();
        {
            std::lock_guard lock(mutex_);
            takenCounters_ = {};
            Tty::ReadCounters(fd_, takenCounters_);
            pendingMark_.clear();
        }
        CreateThread();
    } catch (const std::system_error& e) {
        thread_.reset();
        eventWindow_.reset();
        DestroyPortHandle();
        connected_ = false;
        throw EComPort(ComErrorCode::OpenFailed, e.code().value());
    } catch (...) {
        thread_.reset();
        eventWindow_.reset();
        DestroyPortHandle();
        connected_ = false;
        throw;
    }
    qCInfo(lcSerial).noquote() << "opened" << DeviceName() << "on" << devicePaths_.PathFor(port_);
    if (OnOpen) {
        CallCopy(OnOpen, this);
    }
}

void TComPort::Close() {
    CloseDevice(false);
}

void TComPort::CloseDevice(bool deviceLost) {
    if (!connected_ || closing_) {
        return;
    }
    // A handler run while Close waits for the event thread may call Close again.
    closing_ = true;
    try {
        AbortPending();
    } catch (...) {
        closing_ = false;
        throw;
    }
    if (thread_) {
        thread_->Stop();
        thread_.reset();
        eventWindow_.reset();
    }
    DrainOutput();
    Tty::Flush(fd_, true, true);
    DestroyPortHandle();
    connected_ = false;
    closing_ = false;
    // The next device opened starts without RS-485 direction control; keep the record true to it
    // so that a reopened port in toggle mode switches it on again.
    rtsToggleOn_ = false;
    deviceLost_ = deviceLost;
    qCInfo(lcSerial).noquote() << "closed" << DeviceName();
    if (OnClose) {
        CallCopy(OnClose, this);
    }
}

void TComPort::CreatePortHandle() {
    const QByteArray path = devicePaths_.PathFor(port_).toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw EComPort(ComErrorCode::OpenFailed, errno);
    }
    // One owner at a time, as the device is opened without sharing: the advisory lock keeps
    // out other instances (and the second port of this one), TIOCEXCL other programs.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        throw EComPort(ComErrorCode::OpenFailed, error);
    }
    ::ioctl(fd, TIOCEXCL);
    const int abortFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (abortFd < 0) {
        const int error = errno;
        ::close(fd);
        throw EComPort(ComErrorCode::OpenFailed, error);
    }
    fd_ = fd;
    abortFd_ = abortFd;
}

void TComPort::DestroyPortHandle() {
    if (fd_ >= 0) {
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    if (abortFd_ >= 0) {
        ::close(abortFd_);
        abortFd_ = -1;
    }
}

void TComPort::ApplySettings() {
    ApplyLineSettings();
    ApplyTimeouts();
    ApplyBufferSizes();
}

Tty::LineConfig TComPort::LineConfig() const {
    Tty::LineConfig config;
    int impossible = 0;
    config.baud = static_cast<std::uint32_t>(ComTypes::BaudRateValue(baudRate_));
    config.dataBits = 5 + static_cast<int>(dataBits_);
    config.parity = ParityOf(parity_->Bits());
    // CSTOPB gives one and a half stop bits with five data bits and two otherwise; the other
    // combinations have no setting.
    const bool fiveBits = dataBits_ == TDataBits::dbFive;
    switch (stopBits_) {
        case TStopBits::sbOneStopBit:
            break;
        case TStopBits::sbOne5StopBits:
            config.extraStopBits = true;
            impossible = fiveBits ? 0 : EINVAL;
            break;
        case TStopBits::sbTwoStopBits:
            config.extraStopBits = true;
            impossible = fiveBits ? EINVAL : 0;
            break;
    }
    // Without replacement a byte with a parity error is passed on as received (the error
    // still counts for TakeLineErrors); with it, the kernel marks the byte for ReadStr.
    const bool replace = parity_->Check() && parity_->Replace();
    config.checkParity = replace;
    config.markErrors = replace;
    const TComFlowControl& flow = *flowControl_;
    config.hardwareFlow = flow.OutCTSFlow() || flow.ControlRTS() == TRTSFlowControl::rtsHandshake;
    config.xonXoffOut = flow.XonXoffOut();
    config.xonXoffIn = flow.XonXoffIn();
    config.xonChar = flow.XonChar();
    config.xoffChar = flow.XoffChar();
    // Linux has no DSR/DTR handshake; refusing is better than a line that ignores it.
    if (flow.OutDSRFlow() || flow.DSRSensitivity() ||
        flow.ControlDTR() == TDTRFlowControl::dtrHandshake) {
        impossible = EOPNOTSUPP;
    }
    if (impossible != 0) {
        throw EComPort(ComErrorCode::SetStateFailed, impossible);
    }
    return config;
}

void TComPort::ApplyLineSettings() {
    if (!connected_) {
        return;
    }
    const Tty::LineConfig config = LineConfig();
    const TComFlowControl& flow = *flowControl_;
    const bool toggle = flow.ControlRTS() == TRTSFlowControl::rtsToggle;
    if (toggle != rtsToggleOn_) {
        if (const int error = Tty::SetRtsToggle(fd_, toggle); error != 0) {
            throw EComPort(ComErrorCode::SetStateFailed, error);
        }
        rtsToggleOn_ = toggle;
    }
    if (const int error = Tty::ApplyLine(fd_, config); error != 0) {
        throw EComPort(ComErrorCode::SetStateFailed, error);
    }
    // A pseudo-terminal has no modem lines; that is no failure.
    const auto setLine = [this](int line, bool on) {
        const int error = Tty::SetModemLine(fd_, line, on);
        if (error != 0 && !Tty::IsUnsupported(error)) {
            throw EComPort(ComErrorCode::SetStateFailed, error);
        }
    };
    if (thread_) {
        thread_->SetEventChar(eventChar_);
    }
    setLine(Tty::LineDTR, flow.ControlDTR() == TDTRFlowControl::dtrEnable);
    if (!config.hardwareFlow && !toggle) {
        setLine(Tty::LineRTS, flow.ControlRTS() == TRTSFlowControl::rtsEnable);
    }
}

void TComPort::ApplyTimeouts() {
    if (!connected_) {
        return;
    }
    // Reads and writes time themselves; the values are taken over as unsigned words.
    std::lock_guard lock(mutex_);
    appliedTimeouts_ = {static_cast<std::uint32_t>(timeouts_->ReadInterval()),
                        static_cast<std::uint32_t>(timeouts_->ReadTotalMultiplier()),
                        static_cast<std::uint32_t>(timeouts_->ReadTotalConstant()),
                        static_cast<std::uint32_t>(timeouts_->WriteTotalMultiplier()),
                        static_cast<std::uint32_t>(timeouts_->WriteTotalConstant())};
}

void TComPort::ApplyBufferSizes() {
    if (!connected_) {
        return;
    }
    // The kernel's tty queues have a fixed size; InputSize sets the 80 % mark of evRx80Full.
    if (thread_) {
        thread_->SetInputSize(buffer_->InputSize());
    }
}

TComPort::TimeoutValues TComPort::CurrentTimeouts() const {
    std::lock_guard lock(mutex_);
    return appliedTimeouts_;
}

void TComPort::CreateThread() {
    if (events_.Empty()) {
        return;
    }
    using ComTypes::TEvent;
    TComWatch watch;
    watch.fd = fd_;
    watch.mask = ComEventFlag::Mask(events_);
    watch.syncMethod = syncMethod_;
    const auto wanted = [this](TEvent event, bool assigned) {
        return events_.Contains(event) && assigned;
    };
    watch.sampleLines =
        wanted(TEvent::evCTS, bool(OnCTSChange)) || wanted(TEvent::evDSR, bool(OnDSRChange)) ||
        wanted(TEvent::evRLSD, bool(OnRLSDChange)) || wanted(TEvent::evRing, bool(OnRing));
    watch.sampleCounters =
        wanted(TEvent::evError, bool(OnError)) || wanted(TEvent::evBreak, bool(OnBreak));
    watch.watchTxEmpty = wanted(TEvent::evTxEmpty, bool(OnTxEmpty));
    watch.watchRx80Full = wanted(TEvent::evRx80Full, bool(OnRx80Full));
    watch.captureInput = wanted(TEvent::evRxFlag, bool(OnRxFlag));
    watch.eventChar = eventChar_;
    watch.inputSize = buffer_->InputSize();
    if (syncMethod_ == TSyncMethod::smWindowSync) {
        eventWindow_ = std::make_unique<TComEventWindow>(*this);
    }
    const std::uint64_t opening = ++openings_;
    // Runs on the event thread while the port still exists; the queued call is dropped if the
    // port is destroyed before it runs.
    const auto ended = [this, opening] {
        QMetaObject::invokeMethod(
            this, [this, opening] { EventThreadEnded(opening); }, Qt::QueuedConnection);
    };
    thread_ = std::make_unique<TComThread>(*this, watch, ended);
    thread_->Start();
}

void TComPort::EventThreadEnded(std::uint64_t opening) {
    if (opening != openings_ || !connected_ || closing_ || EventThreadRunning()) {
        return;
    }
    qCWarning(lcSerial) << DeviceName() << "lost its device; the port closes";
    // Called from the event loop, which must not see an exception.
    try {
        CloseDevice(true);
    } catch (const std::exception& e) {
        qCWarning(lcSerial) << DeviceName()
                            << "closing after the device was lost failed:" << e.what();
    }
}

void TComPort::ReportHandlerFailure(const std::exception_ptr& failure) noexcept {
    QString message;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("unknown exception");
    }
    qCWarning(lcSerial) << DeviceName() << "event handler failed:" << message;
    try {
        const TExceptionEvent handler = OnException;
        if (handler) {
            handler(this, message);
        }
    } catch (...) {
        qCWarning(lcSerial) << DeviceName() << "OnException failed too";
    }
}

bool TComPort::EventThreadRunning() const {
    return thread_ != nullptr && thread_->Running();
}

bool TComPort::WaitReady(short events, int notice, std::int64_t deadline, std::uint64_t generation,
                         int errorCode) const {
    for (;;) {
        if (abortGeneration_.load() != generation) {
            throw EComPort(errorCode, ECANCELED);
        }
        const int timeout = deadline < 0
                                ? -1
                                : static_cast<int>(std::clamp<std::int64_t>(
                                      deadline - NowMs(), 0, std::numeric_limits<int>::max()));
        pollfd fds[3] = {{fd_, events, 0}, {abortFd_, POLLIN, 0}, {notice, POLLIN, 0}};
        const int ready = ::poll(fds, notice >= 0 ? 3 : 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EComPort(errorCode, errno);
        }
        if (ready == 0) {
            return false;
        }
        if (fds[1].revents != 0) {
            // Either an abort of this operation (seen at the top of the loop) or the left-over
            // signal of an earlier one, which is cleared here.
            if (abortGeneration_.load() == generation) {
                std::uint64_t value = 0;
                [[maybe_unused]] const auto read = ::read(abortFd_, &value, sizeof value);
            }
            continue;
        }
        return true;
    }
}

int TComPort::WriteStr(const QByteArray& str) {
    if (!connected_) {
        throw EComPort(ComErrorCode::WriteFailed, EBADF);
    }
    const TimeoutValues t = CurrentTimeouts();
    const std::uint64_t generation = abortGeneration_.load();
    const std::uint64_t total =
        std::uint64_t{t.writeMultiplier} * static_cast<std::uint64_t>(str.size()) + t.writeConstant;
    const bool limited = t.writeMultiplier != 0 || t.writeConstant != 0;
    const std::int64_t deadline = limited ? Deadline(total) : -1;
    qsizetype written = 0;
    while (written < str.size()) {
        const ssize_t n =
            ::write(fd_, str.constData() + written, static_cast<std::size_t>(str.size() - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            throw EComPort(ComErrorCode::WriteFailed, errno);
        }
        if (!WaitReady(POLLOUT, -1, deadline, generation, ComErrorCode::WriteFailed)) {
            break;
        }
    }
    if (written > 0 && thread_) {
        thread_->TransmitStarted();
    }
    return static_cast<int>(written);
}

int TComPort::ReadStr(QByteArray& str, int count) {
    if (!connected_) {
        throw EComPort(ComErrorCode::ReadFailed, EBADF);
    }
    str.clear();
    if (count <= 0) {
        return 0;
    }
    const TimeoutValues t = CurrentTimeouts();
    const std::uint64_t generation = abortGeneration_.load();
    // The rules of the time-outs: an interval of all bits with both totals 0 returns at once;
    // all bits in interval and multiplier with a constant waits at most the constant for the
    // first byte and then returns at once; otherwise the total is multiplier × count +
    // constant (none when both are 0) and the interval limits the gap after the first byte.
    const bool atOnce = t.readInterval == kAllBits && t.readMultiplier == 0 && t.readConstant == 0;
    const bool firstByte = t.readInterval == kAllBits && t.readMultiplier == kAllBits &&
                           t.readConstant != 0 && t.readConstant != kAllBits;
    std::int64_t totalDeadline = -1;
    if (firstByte) {
        totalDeadline = Deadline(t.readConstant);
    } else if (t.readMultiplier != 0 || t.readConstant != 0) {
        totalDeadline = Deadline(
            std::uint64_t{t.readMultiplier} * static_cast<std::uint64_t>(count) + t.readConstant);
    }
    const bool intervalLimited = t.readInterval != 0 && t.readInterval != kAllBits;

    // Read in chunks: count may be far above what will ever arrive.
    QByteArray raw;
    char chunk[4096];
    int got = 0;
    std::int64_t lastByte = 0;
    TComThread* capture = thread_ && thread_->CapturesInput() ? thread_.get() : nullptr;
    while (got < count) {
        if (capture != nullptr) {
            // Cleared before taking, so bytes captured after the take wake the wait below.
            capture->ClearInputNotice();
            const QByteArray taken = capture->TakeInput(count - got);
            if (!taken.isEmpty()) {
                raw += taken;
                got += static_cast<int>(taken.size());
                lastByte = NowMs();
                continue;
            }
        }
        const auto wanted =
            std::min<std::size_t>(sizeof chunk, static_cast<std::size_t>(count - got));
        const ssize_t n = ::read(fd_, chunk, wanted);
        if (n > 0) {
            raw.append(chunk, n);
            got += static_cast<int>(n);
            lastByte = NowMs();
            continue;
        }
        if (n == 0) {
            // End of file on a tty: the device has hung up.
            if (got > 0) {
                break;
            }
            throw EComPort(ComErrorCode::ReadFailed, EIO);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            throw EComPort(ComErrorCode::ReadFailed, errno);
        }
        if (atOnce || (firstByte && got > 0)) {
            break;
        }
        std::int64_t deadline = totalDeadline;
        if (intervalLimited && got > 0) {
            const std::int64_t gapEnd = lastByte + t.readInterval;
            deadline = deadline < 0 ? gapEnd : std::min(deadline, gapEnd);
        }
        const int notice = capture != nullptr ? capture->InputNoticeFd() : -1;
        if (!WaitReady(POLLIN, notice, deadline, generation, ComErrorCode::ReadFailed)) {
            break;
        }
    }
    str = FilterReceived(raw);
    return static_cast<int>(str.size());
}

QByteArray TComPort::FilterReceived(QByteArray raw) {
    if (parity_->Check() && parity_->Replace()) {
        std::lock_guard lock(mutex_);
        raw = DecodeParityMarks(pendingMark_, raw, static_cast<char>(parity_->ReplaceChar()));
    }
    if (discardNull_) {
        raw.removeIf([](char c) { return c == '\0'; });
    }
    return raw;
}

int TComPort::DrainTimeMs(int queuedBytes) const {
    if (queuedBytes <= 0) {
        return 0;
    }
    // Half bits: one and a half stop bits are three halves.
    int halfBits = 2 * (1 + 5 + static_cast<int>(dataBits_));
    halfBits += parity_->Bits() == TParityBits::prNone ? 0 : 2;
    switch (stopBits_) {
        case TStopBits::sbOneStopBit:
            halfBits += 2;
            break;
        case TStopBits::sbOne5StopBits:
            halfBits += 3;
            break;
        case TStopBits::sbTwoStopBits:
            halfBits += 4;
            break;
    }
    const std::int64_t halfBitsPerSecond = 2 * std::int64_t{ComTypes::BaudRateValue(baudRate_)};
    const std::int64_t lineMs =
        (std::int64_t{queuedBytes} * halfBits * 1000 + halfBitsPerSecond - 1) / halfBitsPerSecond;
    return static_cast<int>(std::min(lineMs + kDrainSlackMs, kMaxDrainMs));
}

void TComPort::DrainOutput() {
    int queued = 0;
    if (Tty::OutputQueued(fd_, queued) != 0 || queued <= 0) {
        return;
    }
    const std::int64_t deadline = NowMs() + DrainTimeMs(queued);
    // The kernel offers no wake-up for an empty output queue, only a blocking drain without
    // a time limit; this short wait runs on Close alone.
    while (Tty::OutputQueued(fd_, queued) == 0 && queued > 0 && NowMs() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int TComPort::BytesWaiting() const {
    if (!connected_) {
        throw EComPort(ComErrorCode::ClearErrorFailed, EBADF);
    }
    int bytes = 0;
    if (const int error = Tty::InputQueued(fd_, bytes); error != 0) {
        throw EComPort(ComErrorCode::ClearErrorFailed, error);
    }
    return thread_ ? bytes + thread_->InputHeld() : bytes;
}

TLineSignals TComPort::LineSignals() const {
    if (!connected_) {
        throw EComPort(ComErrorCode::ModemStatusFailed, EBADF);
    }
    int lines = 0;
    if (const int error = Tty::ModemLines(fd_, lines); error != 0) {
        throw EComPort(ComErrorCode::ModemStatusFailed, error);
    }
    TLineSignals result;
    if ((lines & Tty::LineCTS) != 0) {
        result.Insert(TLineSignal::lsCTS);
    }
    if ((lines & Tty::LineDSR) != 0) {
        result.Insert(TLineSignal::lsDSR);
    }
    if ((lines & Tty::LineRI) != 0) {
        result.Insert(TLineSignal::lsRing);
    }
    if ((lines & Tty::LineCD) != 0) {
        result.Insert(TLineSignal::lsRLSD);
    }
    return result;
}

TComErrors TComPort::TakeLineErrors() {
    if (!connected_) {
        throw EComPort(ComErrorCode::ClearErrorFailed, EBADF);
    }
    Tty::Counters now;
    if (const int error = Tty::ReadCounters(fd_, now); error != 0) {
        if (Tty::IsUnsupported(error)) {
            return {};
        }
        throw EComPort(ComErrorCode::ClearErrorFailed, error);
    }
    std::lock_guard lock(mutex_);
    const Tty::Counters& was = takenCounters_;
    TComErrors errors;
    if (now.frame != was.frame) {
        errors.Insert(TComError::leFrame);
    }
    if (now.parity != was.parity && parity_->Check()) {
        errors.Insert(TComError::leRxParity);
    }
    if (now.overrun != was.overrun) {
        errors.Insert(TComError::leOverrun);
    }
    if (now.breaks != was.breaks) {
        errors.Insert(TComError::leBreak);
    }
    if (now.bufferOverrun != was.bufferOverrun) {
        errors.Insert(TComError::leRxOver);
    }
    takenCounters_ = now;
    return errors;
}

void TComPort::AbortPending() {
    if (!connected_) {
        return;
    }
    ++abortGeneration_;
    const std::uint64_t one = 1;
    if (::write(abortFd_, &one, sizeof one) < 0) {
        throw EComPort(ComErrorCode::PurgeFailed, errno);
    }
}

void TComPort::RunEventHandlers(std::uint32_t eventWord) {
    // A handler may close the port, or even destroy it; the rest of the word is then dropped.
    const QPointer<TComPort> alive(this);
    for (const std::uint32_t flag : ComEventFlag::DispatchOrder) {
        if ((eventWord & flag) == 0) {
            continue;
        }
        if (alive.isNull() || !connected_) {
            return;
        }
        switch (flag) {
            case ComEventFlag::RxChar:
                if (OnRxChar) {
                    CallCopy(OnRxChar, this, BytesWaiting());
                }
                break;
            case ComEventFlag::TxEmpty:
                if (OnTxEmpty) {
                    CallCopy(OnTxEmpty, this);
                }
                break;
            case ComEventFlag::Break:
                if (OnBreak) {
                    CallCopy(OnBreak, this);
                }
                break;
            case ComEventFlag::Ring:
                if (OnRing) {
                    CallCopy(OnRing, this);
                }
                break;
            case ComEventFlag::CTS:
                if (OnCTSChange) {
                    CallCopy(OnCTSChange, this, LineSignals().Contains(TLineSignal::lsCTS));
                }
                break;
            case ComEventFlag::DSR:
                if (OnDSRChange) {
                    CallCopy(OnDSRChange, this, LineSignals().Contains(TLineSignal::lsDSR));
                }
                break;
            case ComEventFlag::RxFlag:
                if (OnRxFlag) {
                    CallCopy(OnRxFlag, this);
                }
                break;
            case ComEventFlag::RLSD:
                if (OnRLSDChange) {
                    CallCopy(OnRLSDChange, this, LineSignals().Contains(TLineSignal::lsRLSD));
                }
                break;
            case ComEventFlag::Error:
                if (OnError) {
                    CallCopy(OnError, this, TakeLineErrors());
                }
                break;
            case ComEventFlag::Rx80Full:
                if (OnRx80Full) {
                    CallCopy(OnRx80Full, this);
                }
                break;
            default:
                break;
        }
    }
}

#include "serial/com_thread.h"

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "serial/com_event_flags.h"
#include "serial/com_event_window.h"
#include "serial/com_port.h"
#include "serial/serial_log.h"
#include "serial/tty_device.h"

namespace {

// Period of sampling modem lines, error counters and the output queue, in milliseconds.
constexpr int kSamplePeriodMs = 10;

enum class HandOffState { Idle, Pending, Running, Done };

// Compares modem lines and error counters with their previous sample.
class LineSampler {
public:
    LineSampler(int fd, bool lines, bool counters) : fd_(fd), lines_(lines), counters_(counters) {
        if (lines_ && Tty::ModemLines(fd_, previousLines_) != 0) {
            lines_ = false;
        }
        if (counters_ && Tty::ReadCounters(fd_, previousCounters_) != 0) {
            counters_ = false;
        }
    }

    bool Active() const { return lines_ || counters_; }

    std::uint32_t Sample() {
        std::uint32_t word = 0;
        int lines = 0;
        if (lines_ && Tty::ModemLines(fd_, lines) == 0) {
            const int changed = lines ^ previousLines_;
            if ((changed & Tty::LineCTS) != 0) {
                word |= ComEventFlag::CTS;
            }
            if ((changed & Tty::LineDSR) != 0) {
                word |= ComEventFlag::DSR;
            }
            if ((changed & Tty::LineCD) != 0) {
                word |= ComEventFlag::RLSD;
            }
            if ((changed & lines & Tty::LineRI) != 0) {
                word |= ComEventFlag::Ring;
            }
            previousLines_ = lines;
        }
        Tty::Counters counters;
        if (counters_ && Tty::ReadCounters(fd_, counters) == 0) {
            const Tty::Counters& was = previousCounters_;
            if (counters.frame != was.frame || counters.overrun != was.overrun ||
                counters.parity != was.parity || counters.bufferOverrun != was.bufferOverrun) {
                word |= ComEventFlag::Error;
            }
            if (counters.breaks != was.breaks) {
                word |= ComEventFlag::Break;
            }
            previousCounters_ = counters;
        }
        return word;
    }

private:
    int fd_;
    bool lines_;
    bool counters_;
    int previousLines_ = 0;
    Tty::Counters previousCounters_;
};

}  // namespace

struct TComThread::Shared {
    Shared(TComPort& owner, const TComWatch& w, std::function<void()> e)
        : port(&owner), watch(w), ended(std::move(e)) {}
    ~Shared() {
        for (const int fd : {epoll, wake, inputNotice}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    void Wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake, &one, sizeof one);
    }

    bool StopRequested() {
        std::lock_guard lock(mutex);
        return stop;
    }

    // Guarded by mutex: the port (null once the port has left the thread to end on its own),
    // the stop request, the end of the body and the state of the hand-off.
    TComPort* port;
    const TComWatch watch;
    const std::function<void()> ended;
    // eventfd: the stop signal and the notice of a write.
    int wake = -1;
    int epoll = -1;
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    // Set by Start once the thread object is stored: until then the body waits, because a
    // handler run on this thread (smNone) may close the port and so reach that object.
    bool started = false;
    bool finished = false;
    HandOffState handOff = HandOffState::Idle;
    std::uint32_t handOffWord = 0;
    std::thread::id servingThread;
    std::atomic<bool> transmitting{false};
    std::atomic<quint32> inputSize{1024};
    std::atomic<quint8> eventChar{0};
    // Captured input, guarded by inputMutex; inputNotice is an eventfd.
    std::mutex inputMutex;
    QByteArray input;
    int inputNotice = -1;
};

namespace {

using Shared = TComThread::Shared;

// Tells the port about a handler's exception, unless the handler closed or destroyed the port.
void ReportFailure(Shared& s, const std::exception_ptr& failure) {
    std::unique_lock lock(s.mutex);
    TComPort* port = s.port;
    lock.unlock();
    if (port != nullptr) {
        port->ReportHandlerFailure(failure);
        return;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        qCWarning(lcSerial) << "event handler of a closed port failed:" << e.what();
    } catch (...) {
        qCWarning(lcSerial) << "event handler of a closed port failed";
    }
}

// Runs a posted hand-off on the port's thread: from the queued call, or from Stop.
void Serve(Shared& s) {
    std::unique_lock lock(s.mutex);
    if (s.handOff != HandOffState::Pending) {
        return;
    }
    s.handOff = HandOffState::Running;
    s.servingThread = std::this_thread::get_id();
    TComPort* port = s.port;
    const std::uint32_t word = s.handOffWord;
    lock.unlock();

    try {
        if (s.watch.syncMethod == TSyncMethod::smWindowSync) {
            port->EventWindow()->WndProc(TComEventWindow::EventMessage, word, 0);
        } else {
            port->RunEventHandlers(word);
        }
    } catch (...) {
        ReportFailure(s, std::current_exception());
    }

    lock.lock();
    s.handOff = HandOffState::Done;
    s.servingThread = {};
    s.changed.notify_all();
}

// Hands one word to the port's thread and waits until its handlers have run there.
void HandOffSync(const std::shared_ptr<Shared>& shared, std::uint32_t word) {
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    s.handOff = HandOffState::Pending;
    s.handOffWord = word;
    QObject* context = s.port;
    // Stop may already be waiting for the body to end; it must learn of this hand-off.
    s.changed.notify_all();
    lock.unlock();

    QMetaObject::invokeMethod(
        context, [shared] { Serve(*shared); }, Qt::QueuedConnection);

    lock.lock();
    s.changed.wait(lock, [&s] { return s.handOff == HandOffState::Done; });
    s.handOff = HandOffState::Idle;
}

void HandOff(const std::shared_ptr<Shared>& shared, std::uint32_t word) {
    Shared& s = *shared;
    switch (s.watch.syncMethod) {
        case TSyncMethod::smNone:
            try {
                s.port->RunEventHandlers(word);
            } catch (...) {
                ReportFailure(s, std::current_exception());
            }
            return;
        case TSyncMethod::smThreadSync:
            HandOffSync(shared, word);
            return;
        case TSyncMethod::smWindowSync:
            for (const std::uint32_t flag : ComEventFlag::DispatchOrder) {
                if ((word & flag) == 0) {
                    continue;
                }
                HandOffSync(shared, flag);
                if (s.StopRequested()) {
                    return;
                }
            }
            return;
    }
}

struct Captured {
    bool eventChar = false;
    bool hungUp = false;
};

// Takes what the device holds into the input queue, up to the queue's size (at least one
// kernel buffer); the rest stays in the device, where ReadStr reaches it too.
Captured CaptureInput(Shared& s) {
    Captured result;
    const auto limit = static_cast<qsizetype>(std::max<quint32>(s.inputSize.load(), 4096));
    const char eventChar = static_cast<char>(s.eventChar.load());
    bool added = false;
    char chunk[4096];
    for (;;) {
        qsizetype room = 0;
        {
            std::lock_guard lock(s.inputMutex);
            room = limit - s.input.size();
        }
        if (room <= 0) {
            break;
        }
        const ssize_t n = ::read(s.watch.fd, chunk, std::min<std::size_t>(sizeof chunk, room));
        if (n > 0) {
            const QByteArray bytes(chunk, n);
            result.eventChar = result.eventChar || bytes.contains(eventChar);
            std::lock_guard lock(s.inputMutex);
            s.input += bytes;
            added = true;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // End of file or EIO: the device has hung up; EAGAIN: nothing more for now.
        result.hungUp = n == 0 || errno != EAGAIN;
        break;
    }
    if (added) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(s.inputNotice, &one, sizeof one);
    }
    return result;
}

int Queued(Shared& s) {
    int queued = 0;
    if (Tty::InputQueued(s.watch.fd, queued) != 0) {
        return -1;
    }
    std::lock_guard lock(s.inputMutex);
    return queued + static_cast<int>(s.input.size());
}

void Execute(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    const TComWatch& watch = s.watch;
    {
        std::unique_lock lock(s.mutex);
        s.changed.wait(lock, [&s] { return s.started; });
    }
    LineSampler sampler(watch.fd, watch.sampleLines, watch.sampleCounters);
    bool aboveMark = false;

    while (!s.StopRequested()) {
        const bool transmitting = watch.watchTxEmpty && s.transmitting.load();
        const int timeout = sampler.Active() || transmitting ? kSamplePeriodMs : -1;
        epoll_event ready[2];
        const int count = epoll_wait(s.epoll, ready, 2, timeout);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            qCWarning(lcSerial) << "event wait failed, errno" << errno;
            break;
        }
        bool received = false;
        bool hungUp = false;
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.fd == s.wake) {
                std::uint64_t value = 0;
                [[maybe_unused]] const auto read = ::read(s.wake, &value, sizeof value);
                continue;
            }
            received = received || (ready[i].events & EPOLLIN) != 0;
            hungUp = hungUp || (ready[i].events & (EPOLLHUP | EPOLLERR)) != 0;
        }
        if (s.StopRequested()) {
            break;
        }
        bool sawEventChar = false;
        if (received && watch.captureInput) {
            const Captured captured = CaptureInput(s);
            sawEventChar = captured.eventChar;
            hungUp = hungUp || captured.hungUp;
        }
        if (hungUp) {
            // The device is gone (USB adapter pulled, far end of a pseudo-terminal closed);
            // whatever it still reports is unreadable.
            qCInfo(lcSerial) << "device hung up, event thread ends";
            break;
        }

        std::uint32_t word = received ? ComEventFlag::RxChar : 0;
        if (sawEventChar) {
            word |= ComEventFlag::RxFlag;
        }
        if (received && watch.watchRx80Full) {
            if (const int queued = Queued(s); queued >= 0) {
                const bool above = static_cast<quint64>(queued) * 5 >=
                                   static_cast<quint64>(s.inputSize.load()) * 4;
                if (above && !aboveMark) {
                    word |= ComEventFlag::Rx80Full;
                }
                aboveMark = above;
            }
        }
        if (transmitting) {
            int queued = 0;
            if (Tty::OutputQueued(watch.fd, queued) != 0 || queued == 0) {
                s.transmitting = false;
                word |= ComEventFlag::TxEmpty;
            }
        }
        if (sampler.Active()) {
            word |= sampler.Sample();
        }
        word &= watch.mask;
        if (word != 0) {
            HandOff(shared, word);
        }
    }

    std::lock_guard lock(s.mutex);
    // Under the lock: while port is set, the port waits for this body before it goes away.
    if (!s.stop && s.port != nullptr && s.ended) {
        s.ended();
    }
    s.finished = true;
    s.changed.notify_all();
}

void Check(int result, const char* what) {
    if (result < 0) {
        throw std::system_error(errno, std::generic_category(), what);
    }
}

}  // namespace

TComThread::TComThread(TComPort& port, const TComWatch& watch, std::function<void()> ended)
    : shared_(std::make_shared<Shared>(port, watch, std::move(ended))) {
    Shared& s = *shared_;
    s.inputSize = watch.inputSize;
    s.eventChar = watch.eventChar;
    s.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    Check(s.wake, "eventfd");
    s.inputNotice = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    Check(s.inputNotice, "eventfd");
    s.epoll = epoll_create1(EPOLL_CLOEXEC);
    Check(s.epoll, "epoll_create1");
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.fd = s.wake;
    Check(epoll_ctl(s.epoll, EPOLL_CTL_ADD, s.wake, &wakeEvent), "epoll_ctl");
    // Edge-triggered: a tty reports readable for as long as bytes are queued, but a receive
    // event is due only when new bytes arrive. Level-triggered, a port whose bytes nobody
    // reads (a second port without a receive handler) would wake the thread without end.
    epoll_event deviceEvent{};
    deviceEvent.events = EPOLLIN | EPOLLET;
    deviceEvent.data.fd = watch.fd;
    Check(epoll_ctl(s.epoll, EPOLL_CTL_ADD, watch.fd, &deviceEvent), "epoll_ctl");
}

void TComThread::Start() {
    thread_ = std::thread([shared = shared_] { Execute(shared); });
    std::lock_guard lock(shared_->mutex);
    shared_->started = true;
    shared_->changed.notify_all();
}

TComThread::~TComThread() {
    Stop();
}

void TComThread::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    s.stop = true;
    lock.unlock();
    s.Wake();

    lock.lock();
    const auto self = std::this_thread::get_id();
    const bool nested =
        thread_.get_id() == self || (s.handOff == HandOffState::Running && s.servingThread == self);
    if (nested) {
        s.port = nullptr;
        lock.unlock();
        thread_.detach();
        return;
    }
    while (!s.finished) {
        if (s.handOff == HandOffState::Pending) {
            lock.unlock();
            Serve(s);
            lock.lock();
            continue;
        }
        s.changed.wait(lock);
    }
    lock.unlock();
    thread_.join();
}

bool TComThread::Running() const {
    std::lock_guard lock(shared_->mutex);
    return !shared_->finished;
}

void TComThread::TransmitStarted() {
    if (shared_->watch.watchTxEmpty) {
        shared_->transmitting = true;
        shared_->Wake();
    }
}

void TComThread::SetInputSize(quint32 bytes) {
    shared_->inputSize = bytes;
}

void TComThread::SetEventChar(quint8 value) {
    shared_->eventChar = value;
}

bool TComThread::CapturesInput() const {
    return shared_->watch.captureInput;
}

int TComThread::InputHeld() const {
    std::lock_guard lock(shared_->inputMutex);
    return static_cast<int>(shared_->input.size());
}

QByteArray TComThread::TakeInput(int maxBytes) {
    std::lock_guard lock(shared_->inputMutex);
    QByteArray taken = shared_->input.left(maxBytes);
    shared_->input.remove(0, taken.size());
    return taken;
}

int TComThread::InputNoticeFd() const {
    return shared_->inputNotice;
}

void TComThread::ClearInputNotice() {
    std::uint64_t value = 0;
    [[maybe_unused]] const auto read = ::read(shared_->inputNotice, &value, sizeof value);
}

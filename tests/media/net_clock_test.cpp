// The shared clock's two ends on loopback with real GStreamer clocks: a Master's clock that
// steps (a restart on a rebooted or another machine, a clock set anew), answers that are not
// the Master's, the port held against other programs, and questions nobody answers.
#include "media/gst/net_time_client.h"
#include "media/gst/net_time_packet.h"
#include "media/gst/net_time_server.h"
#include "media/gst/show_clock.h"
#include "media/gst/udp_poll_thread.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QThread>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <random>
#include <utility>

namespace {

constexpr std::int64_t Ms = 1'000'000;
constexpr std::int64_t Day = 86'400'000 * Ms;
// Two clocks read one after the other on a loaded machine: well inside a frame.
constexpr std::int64_t SameTimeNs = 40 * Ms;

bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

// A clock `offsetNs` ahead of the machine's monotonic clock, owned by the caller.
GstClock* clockAhead(std::int64_t offsetNs) {
    auto* clock = GST_CLOCK(g_object_new(GST_TYPE_SYSTEM_CLOCK, nullptr));
    gst_object_ref_sink(clock);
    const GstClockTime now = gst_clock_get_internal_time(clock);
    gst_clock_set_calibration(clock, now, now + static_cast<GstClockTime>(offsetNs), 1, 1);
    return clock;
}

std::int64_t apart(GstClock* a, GstClock* b) {
    return std::llabs(static_cast<std::int64_t>(gst_clock_get_time(a)) -
                      static_cast<std::int64_t>(gst_clock_get_time(b)));
}

struct UdpSocket {
    UdpSocket() : fd(socket(AF_INET, SOCK_DGRAM, 0)) {}
    ~UdpSocket() { close(fd); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    bool bindTo(quint16 port, bool reuse) {
        const int on = reuse ? 1 : 0;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    quint16 port() const {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        return ntohs(address.sin_port);
    }
    void sendTo(quint16 port, const net_time_packet::Bytes& bytes) const {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
               sizeof address);
    }
    int fd;
};

quint16 freeUdpPort() {
    UdpSocket probe;
    probe.bindTo(0, false);
    return probe.port();
}

class NetClock : public testing::Test {
protected:
    void SetUp() override {
        if (!gst_is_initialized()) {
            gst_init(nullptr, nullptr);
        }
        port_ = freeUdpPort();
        // Two days ahead, so that a step a day back stays a time after the machine's boot.
        master_ = clockAhead(2 * Day);
        QString error;
        server_ = NetTimeServer::bind(master_, port_, error);
        ASSERT_TRUE(server_) << error.toStdString();
        client_ = NetTimeClient::follow(QStringLiteral("127.0.0.1"), port_);
        ASSERT_TRUE(client_);
        ASSERT_TRUE(waitFor([&] { return client_->status().settled; }, 30));
        first_ = client_->settledClock();
        ASSERT_LT(apart(first_, master_), SameTimeNs);
    }
    void TearDown() override {
        client_.reset();
        server_.reset();
        for (GstClock* clock : {first_, master_}) {
            if (clock != nullptr) {
                gst_object_unref(clock);
            }
        }
    }

    quint16 port_ = 0;
    GstClock* master_ = nullptr;
    std::unique_ptr<NetTimeServer> server_;
    std::unique_ptr<NetTimeClient> client_;
    GstClock* first_ = nullptr;
};

// The Master's clock steps back 600 s, a day, or forward 600 s. The Slave takes a new clock on
// the Master's new time; the old one, on which a segment may still play, never learnt the step
// and runs on undisturbed.
TEST_F(NetClock, AStepOfTheMastersClockGivesANewClockAndLeavesTheOldOneRunning) {
    std::int64_t ahead = 2 * Day;
    for (const std::int64_t step : {-600'000 * Ms, -Day, 600'000 * Ms}) {
        SCOPED_TRACE(step);
        const int stepsBefore = client_->status().steps;
        GstClock* before = master_;
        server_.reset();
        ahead += step;
        master_ = clockAhead(ahead);
        QString error;
        server_ = NetTimeServer::bind(master_, port_, error);
        ASSERT_TRUE(server_) << error.toStdString();
        ASSERT_TRUE(waitFor(
            [&] {
                const NetTimeClient::Status status = client_->status();
                return status.steps == stepsBefore + 1 && status.settled;
            },
            30));
        EXPECT_LT(std::llabs(client_->status().lastStepNs - step), SameTimeNs);
        GstClock* now = client_->settledClock();
        EXPECT_NE(now, first_);
        EXPECT_LT(apart(now, master_), SameTimeNs);
        EXPECT_LT(apart(first_, before), SameTimeNs);
        gst_object_unref(before);
        gst_object_unref(first_);
        first_ = now;
    }
}

// Packets to the Slave's clock port, random or shaped as answers 600 s ahead, from another
// port and from the Master's own port while its server is down, are no answers to its questions.
TEST_F(NetClock, PacketsThatAreNotTheMastersAnswersChangeNothing) {
    std::mt19937_64 random(27);
    const auto forge = [&](const UdpSocket& forger) {
        for (int i = 0; i < 40; ++i) {
            forger.sendTo(client_->localPort(), net_time_packet::make(random(), random()));
            const GstClockTime asked = gst_clock_get_internal_time(first_);
            forger.sendTo(
                client_->localPort(),
                net_time_packet::make(asked, gst_clock_get_time(master_) + 600 * GST_SECOND));
            QThread::msleep(25);
        }
    };
    forge(UdpSocket());
    server_.reset();
    {
        UdpSocket onMastersPort;
        ASSERT_TRUE(onMastersPort.bindTo(port_, false));
        forge(onMastersPort);
    }
    QString error;
    server_ = NetTimeServer::bind(master_, port_, error);
    ASSERT_TRUE(server_) << error.toStdString();
    QThread::msleep(1000);
    EXPECT_EQ(client_->status().steps, 0);
    EXPECT_LT(apart(first_, master_), SameTimeNs);
    GstClock* now = client_->settledClock();
    EXPECT_EQ(now, first_);
    gst_object_unref(now);
}

// Bound without address reuse: no other program can bind the port beside the Master and answer
// in its place. A port taken before the Master came is tried again until it is free.
TEST_F(NetClock, ThePortIsTheMastersAloneAndATakenOneIsTriedAgain) {
    UdpSocket hijacker;
    EXPECT_FALSE(hijacker.bindTo(port_, true));

    const quint16 port = freeUdpPort();
    auto taker = std::make_unique<UdpSocket>();
    ASSERT_TRUE(taker->bindTo(port, true));
    ShowClock clock;
    clock.setup(ClockSetup{ClockSetup::Role::Publish, QString(), port, 0});
    EXPECT_FALSE(clock.state().shared);
    EXPECT_TRUE(clock.state().publishError.contains(QStringLiteral("in use")))
        << clock.state().publishError.toStdString();
    taker.reset();
    EXPECT_TRUE(waitFor([&] { return clock.state().shared; }, 30));
    EXPECT_TRUE(clock.state().publishError.isEmpty());
    const auto follower = NetTimeClient::follow(QStringLiteral("127.0.0.1"), port);
    EXPECT_TRUE(waitFor([&] { return follower->status().settled; }, 30));
}

// A Slave's question to a port where nothing listens (a Master that does not publish yet) is
// refused, and the refusal stays on the socket until it is read: left there, it would end every
// wait of the clock's thread at once, which would spin until its next question.
TEST(UdpPollThread, ARefusedDatagramIsTakenOffTheSocketByTheWaitThatSeesIt) {
    const quint16 closed = freeUdpPort();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(closed);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::unique_ptr<UdpPollThread> udp = UdpPollThread::own(fd);
    ASSERT_TRUE(udp);
    std::promise<std::pair<UdpPollThread::Wake, int>> seen;
    udp->start([&seen](const UdpPollThread& thread) {
        const auto question = net_time_packet::make(1, 0);
        send(thread.socket(), question.data(), question.size(), 0);
        const UdpPollThread::Wake first = thread.wait(30'000);
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(thread.socket(), SOL_SOCKET, SO_ERROR, &error, &size);
        seen.set_value({first, error});
        while (thread.wait(-1) != UdpPollThread::Wake::End) {
        }
    });
    std::future<std::pair<UdpPollThread::Wake, int>> result = seen.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    const auto [first, error] = result.get();
    EXPECT_EQ(first, UdpPollThread::Wake::Quiet);
    EXPECT_EQ(error, 0) << std::strerror(error);
}

}  // namespace

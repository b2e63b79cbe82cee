#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

// A relay on loopback between a Slave and its Master that the test opens and drops at chosen
// moments. The Slave connects to port() at once and believes itself linked; the Master sees it
// only from open() on, which makes the moment it joins the show exact. drop() closes both sides
// as a broken link does and holds the Slave's next connection until open() again. delayPlay()
// makes it a slow link for "Play".
class HeldLink {
public:
    explicit HeldLink(quint16 masterPort);
    ~HeldLink();
    HeldLink(const HeldLink&) = delete;
    HeldLink& operator=(const HeldLink&) = delete;

    quint16 port() const { return port_; }
    void open() { open_ = true; }
    void drop() {
        open_ = false;
        dropped_ = true;
    }
    // What the Master sends from each "Play" on reaches the Slave `ms` later, in order, as on a
    // machine too loaded to pass it on in time.
    void delayPlay(int ms) { playDelayMs_ = ms; }

private:
    void run();
    void closeBoth();
    // Passes the Master's bytes on, holding them back from a "Play" on while delayPlay asks.
    bool toSlave(const char* bytes, qsizetype size);
    bool releaseHeldPlay();

    quint16 masterPort_;
    quint16 port_ = 0;
    int listener_ = -1;
    int slave_ = -1;
    int master_ = -1;
    // What the Slave sent while the Master could not see it yet.
    QByteArray held_;
    // The Master's bytes from a "Play" on, and when they go to the Slave.
    QByteArray delayed_;
    std::optional<std::chrono::steady_clock::time_point> delayedUntil_;
    std::atomic<int> playDelayMs_{0};
    std::atomic<bool> open_{false};
    std::atomic<bool> dropped_{false};
    std::atomic<bool> ending_{false};
    std::thread thread_;
};

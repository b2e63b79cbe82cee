#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <thread>

// A relay on loopback between a Slave and its Master that the test opens and drops at chosen
// moments. The Slave connects to port() at once and believes itself linked; the Master sees it
// only from open() on, which makes the moment it joins the show exact. drop() closes both sides
// as a broken link does and holds the Slave's next connection until open() again.
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

private:
    void run();
    void closeBoth();

    quint16 masterPort_;
    quint16 port_ = 0;
    int listener_ = -1;
    int slave_ = -1;
    int master_ = -1;
    // What the Slave sent while the Master could not see it yet.
    QByteArray held_;
    std::atomic<bool> open_{false};
    std::atomic<bool> dropped_{false};
    std::atomic<bool> ending_{false};
    std::thread thread_;
};

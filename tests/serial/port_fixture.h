#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "pty_pair.h"
#include "serial/com_error.h"
#include "serial/com_port.h"

// A port whose COM1 is the slave of a fresh pseudo-terminal.
class PortOnPty : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        TComDevicePaths paths;
        paths.SetPath(TPortType::COM1, pty.slavePath());
        port.SetDevicePaths(paths);
    }

    // Handlers refer to the test body's locals, which are gone by the time the fixture closes
    // the port.
    void TearDown() override {
        port.OnRxChar = nullptr;
        port.OnTxEmpty = nullptr;
        port.OnBreak = nullptr;
        port.OnRxFlag = nullptr;
        port.OnCTSChange = nullptr;
        port.OnError = nullptr;
        port.OnOpen = nullptr;
        port.OnClose = nullptr;
        port.OnRx80Full = nullptr;
        port.OnException = nullptr;
        port.Close();
    }

    PtyPair pty;
    TComPort port;
};

// Runs `action` and returns the EComPort it raises (error code 0 when it raises none).
template <typename Action>
EComPort comErrorOf(Action&& action) {
    try {
        action();
    } catch (const EComPort& e) {
        return e;
    }
    return EComPort(0);
}

// Ends the port's waiting read as failed when it has not returned within a minute of this
// object's making: a read that waits for its time-out instead of its bytes then fails its check
// instead of passing late.
class ReadWatchdog {
public:
    explicit ReadWatchdog(TComPort& port)
        : thread_([this, &port] {
              std::unique_lock lock(mutex_);
              if (!changed_.wait_for(lock, std::chrono::minutes(1), [this] { return done_; })) {
                  port.AbortPending();
              }
          }) {}
    ~ReadWatchdog() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    ReadWatchdog(const ReadWatchdog&) = delete;
    ReadWatchdog& operator=(const ReadWatchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_;
};

// ReadStr under a ReadWatchdog: -1 when the read failed or the watchdog ended it.
inline int watchedRead(TComPort& port, QByteArray& str, int count) {
    const ReadWatchdog watchdog(port);
    try {
        return port.ReadStr(str, count);
    } catch (const EComPort&) {
        return -1;
    }
}

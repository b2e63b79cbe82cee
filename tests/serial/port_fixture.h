#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTest>
#include <memory>

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

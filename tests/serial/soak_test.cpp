#include <gtest/gtest.h>

#include <QTest>
#include <atomic>

#include "port_fixture.h"
#include "support/process_resources.h"

// Weeks of unattended running: the main window closes and opens its ports whenever the link or
// a port number changes. Each cycle must give back the device, its event thread and the
// thread's descriptors, whichever way the handlers are synchronised.

namespace {

// Detached event threads (a port closed from its own handler) end on their own, shortly after.
bool returnsTo(int descriptors, int threads) {
    return QTest::qWaitFor(
        [&] {
            return ProcessResources::openDescriptors() == descriptors &&
                   ProcessResources::threads() == threads;
        },
        3000);
}

}  // namespace

TEST_F(PortOnPty, OpenCloseCyclesGiveBackDescriptorsAndThreads) {
    std::atomic<int> received{0};
    std::atomic<bool> closeFromHandler{false};
    std::atomic<int> closes{0};
    port.OnClose = [&](QObject*) { ++closes; };
    port.OnRxChar = [&](QObject*, int count) {
        QByteArray bytes;
        received += port.ReadStr(bytes, count);
        if (closeFromHandler) {
            port.Close();
        }
    };
    const TSyncMethod methods[] = {TSyncMethod::smThreadSync, TSyncMethod::smWindowSync,
                                   TSyncMethod::smNone};
    const auto cycle = [&](int count) {
        port.SetSyncMethod(methods[count % 3]);
        closeFromHandler = count % 2 == 1;
        port.Open();
        ASSERT_TRUE(port.EventThreadRunning());
        const int expected = received + 1;
        const int closed = closes + 1;
        pty.writeMaster("x");
        ASSERT_TRUE(QTest::qWaitFor([&] { return received == expected; }, 3000));
        if (closeFromHandler) {
            // With smNone the handler closes on the event thread; its OnClose says when.
            ASSERT_TRUE(QTest::qWaitFor([&] { return closes == closed; }, 3000));
        }
        port.Close();
        ASSERT_EQ(closes, closed);
        ASSERT_FALSE(port.Connected());
    };
    cycle(0);
    const int descriptors = ProcessResources::openDescriptors();
    const int threads = ProcessResources::threads();
    for (int count = 1; count <= 200 && !HasFatalFailure(); ++count) {
        cycle(count);
    }
    EXPECT_TRUE(returnsTo(descriptors, threads))
        << "descriptors " << descriptors << " -> " << ProcessResources::openDescriptors()
        << ", threads " << threads << " -> " << ProcessResources::threads();
}

TEST(TComPortSoak, FailedOpensGiveBackEverything) {
    TComPort port;
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM1, QStringLiteral("/dev/null/none"));
    port.SetDevicePaths(paths);
    const int descriptors = ProcessResources::openDescriptors();
    const int threads = ProcessResources::threads();
    for (int count = 0; count < 200; ++count) {
        EXPECT_EQ(comErrorOf([&] { port.Open(); }).ErrorCode(), 1);
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(returnsTo(descriptors, threads));
}

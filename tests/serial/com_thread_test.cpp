#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

#include "port_fixture.h"
#include "serial/com_event_flags.h"
#include "serial/com_event_window.h"
#include "support/process_resources.h"

namespace {

// Lets the event loop run for a while, so that anything due would have been delivered.
void settle(int ms) {
    QTest::qWait(ms);
}

}  // namespace

TEST_F(PortOnPty, AFrameFiresOnRxCharWithItsCountOnTheUiThread) {
    std::vector<int> counts;
    QByteArray received;
    port.OnRxChar = [&](QObject* sender, int count) {
        EXPECT_EQ(sender, &port);
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        counts.push_back(count);
        QByteArray chunk;
        port.ReadStr(chunk, count);
        received += chunk;
    };
    port.Open();
    ASSERT_TRUE(port.EventThreadRunning());
    pty.writeMaster("_x*");
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 3; }, 3000));
    EXPECT_EQ(counts.front(), 3);
    EXPECT_EQ(received, "_x*");

    for (int i = 0; i < 20; ++i) {
        pty.writeMaster("_Play*");
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 3 + 20 * 6; }, 3000));
    EXPECT_EQ(received.mid(3), QByteArray("_Play*").repeated(20));
}

TEST_F(PortOnPty, NoEventsMeansNoThreadAndAChangeWaitsForTheNextOpen) {
    int calls = 0;
    port.OnRxChar = [&](QObject*, int) { ++calls; };
    port.SetEvents({});
    port.Open();
    EXPECT_FALSE(port.HasEventThread());
    port.SetEvents(ComTypes::AllEvents);
    EXPECT_FALSE(port.HasEventThread());
    pty.writeMaster("abc");
    // An event thread would have reported the bytes at once.
    settle(200);
    EXPECT_EQ(calls, 0);
    port.Close();

    port.Open();
    EXPECT_TRUE(port.EventThreadRunning());
    pty.writeMaster("d");
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 3000));
}

TEST_F(PortOnPty, HandlersRunInTheFixedOrderAndFetchValuesOnlyWhenAssigned) {
    port.SetEvents({});
    port.Open();
    QStringList order;
    port.OnTxEmpty = [&](QObject*) { order << "tx"; };
    port.OnRxChar = [&](QObject*, int count) { order << QStringLiteral("rx %1").arg(count); };
    port.OnRx80Full = [&](QObject*) { order << "80"; };
    port.OnBreak = [&](QObject*) { order << "break"; };
    pty.writeMaster("ab");
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.BytesWaiting() == 2; }, 2000));

    using namespace ComEventFlag;
    port.RunEventHandlers(Rx80Full | TxEmpty | RxChar | Break | CTS);
    EXPECT_EQ(order, QStringList({"rx 2", "tx", "break", "80"}));

    // A pseudo-terminal has no modem lines: the state is fetched only for a handler.
    port.OnCTSChange = [&](QObject*, bool) { order << "cts"; };
    EXPECT_EQ(comErrorOf([&] { port.RunEventHandlers(CTS); }).ErrorCode(), 11);
}

TEST_F(PortOnPty, CloseFromAHandlerThatIsRunningDoesNotHang) {
    int rxCalls = 0;
    int closes = 0;
    port.OnClose = [&](QObject*) { ++closes; };
    port.OnRxChar = [&](QObject*, int) {
        ++rxCalls;
        port.Close();
        EXPECT_FALSE(port.Connected());
    };
    port.OnTxEmpty = [&](QObject*) { ADD_FAILURE() << "handler after the port was closed"; };
    port.Open();
    pty.writeMaster("x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return closes == 1; }, 3000));
    EXPECT_EQ(rxCalls, 1);
    EXPECT_FALSE(port.HasEventThread());

    // The port is whole again after the next Open.
    port.OnRxChar = [&](QObject*, int count) {
        QByteArray str;
        rxCalls += port.ReadStr(str, count);
    };
    port.Open();
    pty.writeMaster("yz");
    EXPECT_TRUE(QTest::qWaitFor([&] { return rxCalls == 3; }, 3000));
}

TEST_F(PortOnPty, CloseFromANestedEventLoopInsideAHandlerDoesNotHang) {
    // As when a handler shows a modal box and the operator switches the link meanwhile.
    bool handlerDone = false;
    int closes = 0;
    port.OnClose = [&](QObject*) { ++closes; };
    port.OnRxChar = [&](QObject*, int) {
        QTimer::singleShot(0, &port, [this] { port.Close(); });
        QTest::qWait(100);
        EXPECT_FALSE(port.Connected());
        handlerDone = true;
    };
    port.Open();
    pty.writeMaster("x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return handlerDone; }, 3000));
    EXPECT_EQ(closes, 1);
    port.Open();
    EXPECT_TRUE(port.EventThreadRunning());
}

TEST_F(PortOnPty, CloseServesAHandOffThatIsWaitingForTheUiThread) {
    QStringList calls;
    port.OnRxChar = [&](QObject*, int count) {
        QByteArray str;
        port.ReadStr(str, count);
        calls << "rx " + QString::fromLatin1(str);
    };
    port.OnClose = [&](QObject*) { calls << "close"; };
    port.Open();
    pty.writeMaster("late");
    // The event thread has posted its hand-off and waits; the UI thread has not served it.
    QThread::msleep(300);
    port.Close();
    EXPECT_EQ(calls, QStringList({"rx late", "close"}));
    // The posted hand-off runs on the loop's next pass.
    settle(100);
    EXPECT_EQ(calls.size(), 2) << "the posted call must find nothing left to do";
}

TEST_F(PortOnPty, CloseRacingWithArrivingBytesNeverHangs) {
    // Whatever the moment of Close, a handler runs only on the open port it belongs to, finds
    // its bytes readable, and nothing of the event thread outlives Close.
    bool closed = true;
    int calls = 0;
    int onClosedPort = 0;
    int readFailures = 0;
    int received = 0;
    port.OnRxChar = [&](QObject*, int count) {
        ++calls;
        if (closed || !port.Connected()) {
            ++onClosedPort;
            return;
        }
        QByteArray str;
        try {
            received += port.ReadStr(str, count);
        } catch (const EComPort&) {
            ++readFailures;
        }
    };
    int exceptions = 0;
    port.OnException = [&](QObject*, const QString&) { ++exceptions; };
    for (int i = 0; i < 200; ++i) {
        port.Open();
        closed = false;
        pty.writeMaster("_Play*");
        if (i % 2 == 0) {
            QThread::usleep(static_cast<unsigned long>(i * 5));
        }
        port.Close();
        closed = true;
        ASSERT_FALSE(port.HasEventThread()) << "cycle " << i;
        ASSERT_FALSE(port.Connected()) << "cycle " << i;
    }
    // Hand-offs posted before the last Close run on the loop's next pass.
    settle(50);
    EXPECT_EQ(onClosedPort, 0) << "of " << calls << " handler calls";
    EXPECT_EQ(readFailures, 0);
    EXPECT_EQ(exceptions, 0);
    EXPECT_LE(received, 200 * 6);
    // The port is whole after the race.
    port.Open();
    closed = false;
    const int before = received;
    pty.writeMaster("_Stop*");
    EXPECT_TRUE(QTest::qWaitFor([&] { return received >= before + 6; }, 3000));
}

TEST_F(PortOnPty, DestroyingThePortWithAHandOffWaitingDoesNotHang) {
    PtyPair own;
    ASSERT_TRUE(own.ok());
    auto doomed = std::make_unique<TComPort>();
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM1, own.slavePath());
    doomed->SetDevicePaths(paths);
    int calls = 0;
    doomed->OnRxChar = [&](QObject*, int) { ++calls; };
    doomed->Open();
    own.writeMaster("x");
    QThread::msleep(200);
    doomed.reset();
    EXPECT_EQ(calls, 1);
    // The posted hand-off runs on the loop's next pass and must find the port gone.
    settle(50);
}

TEST_F(PortOnPty, AHandlerThatThrowsIsReportedAndTheThreadKeepsServing) {
    int calls = 0;
    QStringList reported;
    port.OnException = [&](QObject* sender, const QString& message) {
        EXPECT_EQ(sender, &port);
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        reported << message;
    };
    port.OnRxChar = [&](QObject*, int count) {
        ++calls;
        QByteArray str;
        port.ReadStr(str, count);
        if (str == "a") {
            throw EComPort(ComErrorCode::WriteFailed, EIO);
        }
    };
    port.Open();
    pty.writeMaster("a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reported.isEmpty(); }, 3000));
    EXPECT_EQ(reported, QStringList({QString::fromLatin1(EComPort(2, EIO).what())}));
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(port.EventThreadRunning());
    pty.writeMaster("b");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, 3000)) << "the thread went deaf";
    EXPECT_EQ(reported.size(), 1);

    // Without an OnException handler the failure is still only logged.
    port.OnException = nullptr;
    pty.writeMaster("a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 3; }, 3000));
    pty.writeMaster("c");
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 4; }, 3000));
}

TEST_F(PortOnPty, APulledDeviceClosesThePortAndTellsItsOwnerOnTheUiThread) {
    const int descriptors = ProcessResources::openDescriptors();
    int closes = 0;
    bool connectedInOnClose = true;
    bool lostInOnClose = false;
    port.OnClose = [&](QObject* sender) {
        EXPECT_EQ(sender, &port);
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        connectedInOnClose = port.Connected();
        lostInOnClose = port.DeviceLost();
        ++closes;
    };
    port.OnRxChar = [&](QObject*, int) {};
    port.OnRxFlag = [](QObject*) {};
    port.Open();
    pty.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closes == 1; }, 3000))
        << "the owner never heard that the device went";
    EXPECT_FALSE(connectedInOnClose);
    EXPECT_TRUE(lostInOnClose) << "the owner cannot tell a lost device from its own Close";
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.HasEventThread());
    // The device and the thread's descriptors are given back, so a re-plugged adapter is not
    // held off its old name; the test closed the far end itself.
    EXPECT_EQ(ProcessResources::openDescriptors(), descriptors - 1);

    const EComPort error = comErrorOf([&] { port.WriteStr("x"); });
    EXPECT_EQ(error.ErrorCode(), 2);
    port.Close();
    EXPECT_EQ(closes, 1);
}

TEST_F(PortOnPty, OnlyALostDeviceCountsAsLost) {
    std::vector<bool> lost;
    port.OnClose = [&](QObject*) { lost.push_back(port.DeviceLost()); };
    port.Open();
    port.Close();
    EXPECT_EQ(lost, std::vector<bool>({false}));
}

TEST_F(PortOnPty, ASlavesRepeatPortThatDiesLeavesTheReceivingPortServing) {
    // A Slave repeats every chunk it receives on its second port. That port's adapter is
    // pulled: it closes itself, and the receiving port goes on receiving.
    PtyPair thru;
    ASSERT_TRUE(thru.ok());
    TComPort repeat;
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM2, thru.slavePath());
    repeat.SetDevicePaths(paths);
    repeat.SetPort(TPortType::COM2);
    int repeatCloses = 0;
    repeat.OnClose = [&](QObject*) { ++repeatCloses; };
    repeat.Open();

    QByteArray received;
    int failures = 0;
    port.OnException = [&](QObject*, const QString&) { ++failures; };
    port.OnRxChar = [&](QObject*, int count) {
        QByteArray str;
        port.ReadStr(str, count);
        received += str;
        repeat.WriteStr(str);
    };
    port.Open();
    pty.writeMaster("_Play*");
    QByteArray repeated;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            repeated += thru.readMaster(6, 1);
            return repeated.size() >= 6;
        },
        3000));
    EXPECT_EQ(repeated, "_Play*");

    thru.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return repeatCloses == 1; }, 3000));
    EXPECT_FALSE(repeat.Connected());
    pty.writeMaster("_Stop*");
    ASSERT_TRUE(QTest::qWaitFor([&] { return failures == 1; }, 3000));
    pty.writeMaster("_ReSt*");
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == "_Play*_Stop*_ReSt*"; }, 3000))
        << received.constData();
    EXPECT_TRUE(port.Connected());
    port.OnRxChar = nullptr;
}

TEST_F(PortOnPty, AHandlerMayDestroyItsPort) {
    PtyPair own;
    ASSERT_TRUE(own.ok());
    auto doomed = std::make_unique<TComPort>();
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM1, own.slavePath());
    doomed->SetDevicePaths(paths);
    // A closure freed while it runs would be read after free here.
    auto marker = std::make_shared<int>(0);
    int seen = 0;
    doomed->OnRxChar = [&doomed, &seen, marker](QObject*, int) {
        doomed.reset();
        seen = ++*marker;
    };
    doomed->Open();
    own.writeMaster("x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return doomed == nullptr; }, 3000));
    EXPECT_EQ(seen, 1);
}

TEST_F(PortOnPty, UnreadBytesRaiseOneReceiveEventWithEveryLineEventSelected) {
    // The thread's CPU time meanwhile is a figure of serial_bench (tools/bench/serial).
    // Like the second port: every event selected, bytes arrive and nobody reads them.
    int calls = 0;
    port.OnRxChar = [&](QObject*, int) { ++calls; };
    port.OnCTSChange = [&](QObject*, bool) {};
    port.OnError = [&](QObject*, TComErrors) {};
    port.Open();
    pty.writeMaster("unread");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls >= 1 && port.BytesWaiting() == 6; }, 3000));
    settle(50);
    const int seen = calls;
    // A repeated event for the same bytes would come on the thread's next pass, well within this.
    settle(1000);
    EXPECT_EQ(calls, seen) << "a receive event is due only for new bytes";
    EXPECT_EQ(port.BytesWaiting(), 6);
}

TEST_F(PortOnPty, OutputEmptyAfterAWriteAndTheEightyPercentMark) {
    int txEmpty = 0;
    int full = 0;
    // The thread raises the mark in the same pass as the receive event of the bytes that cross
    // it, so a receive event for them means the mark had its chance.
    int waiting = 0;
    port.OnTxEmpty = [&](QObject*) { ++txEmpty; };
    port.OnRx80Full = [&](QObject*) { ++full; };
    port.OnRxChar = [&](QObject*, int) { waiting = port.BytesWaiting(); };
    port.Buffer()->SetInputSize(10);
    port.Open();
    port.WriteStr("_Play*");
    EXPECT_TRUE(QTest::qWaitFor([&] { return txEmpty == 1; }, 3000));
    pty.writeMaster("1234567");
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting == 7; }, 10000));
    EXPECT_EQ(full, 0);
    pty.writeMaster("8");
    EXPECT_TRUE(QTest::qWaitFor([&] { return full == 1; }, 10000));
    pty.writeMaster("9");
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting == 9; }, 10000));
    EXPECT_EQ(full, 1) << "reported when the mark is crossed, not for every byte above it";
}

TEST_F(PortOnPty, WithSmNoneHandlersRunOnTheEventThread) {
    port.SetSyncMethod(TSyncMethod::smNone);
    std::atomic<bool> onUiThread{true};
    std::atomic<int> calls{0};
    port.OnRxChar = [&](QObject*, int) {
        onUiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ++calls;
    };
    port.Open();
    pty.writeMaster("a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls.load() == 0 && !onUiThread.load(); }, 3000));
    port.Close();
    EXPECT_EQ(calls.load(), 1) << "Close waits for the running handler";
    EXPECT_FALSE(onUiThread.load());
}

TEST_F(PortOnPty, WithSmNoneAHandlerMayCloseItsOwnPort) {
    port.SetSyncMethod(TSyncMethod::smNone);
    std::atomic<int> closes{0};
    port.OnClose = [&](QObject*) { ++closes; };
    port.OnRxChar = [&](QObject*, int) { port.Close(); };
    port.Open();
    pty.writeMaster("a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return closes.load() == 1; }, 3000));
    EXPECT_FALSE(port.Connected());
}

TEST_F(PortOnPty, WithSmWindowSyncEachEventIsItsOwnMessageOnTheUiThread) {
    port.SetSyncMethod(TSyncMethod::smWindowSync);
    QStringList calls;
    port.OnRxChar = [&](QObject*, int count) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        QByteArray str;
        port.ReadStr(str, count);
        calls << QString::fromLatin1(str);
    };
    port.OnTxEmpty = [&](QObject*) { calls << "tx"; };
    port.Open();
    ASSERT_NE(port.EventWindow(), nullptr);
    pty.writeMaster("win");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls.contains("win"); }, 3000));

    TComEventWindow& window = *port.EventWindow();
    EXPECT_FALSE(window.WndProc(1024, ComEventFlag::TxEmpty, 0));
    EXPECT_TRUE(window.WndProc(1025, 3, 0)) << "two flags at once are not an event";
    EXPECT_TRUE(window.WndProc(1025, ComEventFlag::TxEmpty, 0));
    EXPECT_EQ(calls.back(), "tx");
    port.Close();
    EXPECT_EQ(port.EventWindow(), nullptr);
}

TEST_F(PortOnPty, TheEventCharFiresOnRxFlagAndNoByteIsLostOrReordered) {
    QStringList calls;
    QByteArray received;
    port.SetEventChar('*');
    port.OnRxFlag = [&](QObject*) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        calls << "flag";
    };
    port.OnRxChar = [&](QObject*, int count) {
        calls << "rx";
        QByteArray str;
        EXPECT_EQ(port.ReadStr(str, count), count);
        received += str;
    };
    port.Open();
    pty.writeMaster("_Play*");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls.contains("flag"); }, 3000));
    EXPECT_EQ(calls.first(), "rx") << "receive before flag, whatever the order on the line";

    pty.writeMaster("_SeLi");
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 11; }, 3000));
    EXPECT_EQ(calls.count("flag"), 1) << "no event char, no flag";

    port.SetEventChar('#');
    for (int i = 0; i < 50; ++i) {
        pty.writeMaster(QByteArray::number(i) + '#');
    }
    QByteArray expected = "_Play*_SeLi";
    for (int i = 0; i < 50; ++i) {
        expected += QByteArray::number(i) + '#';
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == expected.size(); }, 3000));
    EXPECT_EQ(received, expected);
    EXPECT_GE(calls.count("flag"), 2);
}

TEST_F(PortOnPty, AWaitingReadSeesBytesTheEventThreadTookFirst) {
    // With smNone the thread takes every byte at once, racing the waiting read for it.
    port.SetSyncMethod(TSyncMethod::smNone);
    port.OnRxFlag = [](QObject*) {};
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(600000);
    port.Open();
    for (char c = 'a'; c < 'k'; ++c) {
        std::thread writer([this, c] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pty.writeMaster(QByteArray(1, c));
        });
        QByteArray str;
        EXPECT_EQ(watchedRead(port, str, 1), 1);
        writer.join();
        EXPECT_EQ(str, QByteArray(1, c));
    }
}

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <cerrno>
#include <thread>

#include "port_fixture.h"
#include "serial/tty_device.h"

namespace {

Tty::LineConfig lineOf(const PtyPair& pty) {
    // Termios requests on the master act on the slave's settings.
    Tty::LineConfig config;
    EXPECT_EQ(Tty::ReadLine(pty.masterFd(), config), 0);
    return config;
}

}  // namespace

TEST(TComPortOpen, MissingDeviceFailsWithCodeOneAndErrnoAndStaysClosed) {
    TComPort port;
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM2, QStringLiteral("/nonexistent/ttyUSB9"));
    port.SetDevicePaths(paths);
    port.SetPort(TPortType::COM2);
    int closes = 0;
    port.OnClose = [&](QObject*) { ++closes; };

    const EComPort error = comErrorOf([&] { port.Open(); });
    EXPECT_EQ(error.ErrorCode(), 1);
    EXPECT_EQ(error.SystemCode(), ENOENT);
    EXPECT_STREQ(error.what(), "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(port.Connected());
    EXPECT_NO_THROW(port.Close());
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(comErrorOf([&] { port.WriteStr("x"); }).ErrorCode(), 2);
    EXPECT_EQ(comErrorOf([&] {
                  QByteArray s;
                  port.ReadStr(s, 1);
              }).ErrorCode(),
              3);
}

TEST_F(PortOnPty, OneOwnerAtATime) {
    port.Open();
    TComPort second;
    second.SetDevicePaths(port.DevicePaths());
    const EComPort error = comErrorOf([&] { second.Open(); });
    EXPECT_EQ(error.ErrorCode(), 1);
    EXPECT_EQ(error.SystemCode(), EWOULDBLOCK);
    port.Close();
    EXPECT_NO_THROW(second.Open());
}

TEST_F(PortOnPty, BytesTravelBothWaysAtEveryRate) {
    port.SetEvents({});
    port.Open();
    ASSERT_TRUE(port.Connected());
    for (int i = 0; i <= static_cast<int>(TBaudRate::br115200); ++i) {
        const auto rate = static_cast<TBaudRate>(i);
        port.SetBaudRate(rate);
        const auto bps = static_cast<std::uint32_t>(ComTypes::BaudRateValue(rate));
        EXPECT_EQ(lineOf(pty).baud, bps);

        const QByteArray out = "_Play*" + QByteArray::number(bps);
        EXPECT_EQ(port.WriteStr(out), out.size());
        EXPECT_EQ(pty.readMaster(static_cast<int>(out.size())), out);

        const QByteArray in = "_Stop*" + QByteArray::number(bps) + '\xFF' + '\0';
        pty.writeMaster(in);
        ASSERT_TRUE(QTest::qWaitFor([&] { return port.BytesWaiting() == in.size(); }, 2000));
        QByteArray got;
        EXPECT_EQ(port.ReadStr(got, 100), in.size());
        EXPECT_EQ(got, in);
    }
}

TEST_F(PortOnPty, LineSettingsReachTheDeviceAndAreAppliedAgainWhileOpen) {
    port.Open();
    Tty::LineConfig line = lineOf(pty);
    EXPECT_EQ(line.baud, 9600U);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, Tty::Parity::None);
    EXPECT_FALSE(line.extraStopBits);
    EXPECT_FALSE(line.hardwareFlow);
    EXPECT_FALSE(line.xonXoffOut);

    port.SetDataBits(TDataBits::dbSeven);
    port.Parity()->SetBits(TParityBits::prMark);
    port.SetStopBits(TStopBits::sbTwoStopBits);
    port.FlowControl()->SetControlRTS(TRTSFlowControl::rtsHandshake);
    port.FlowControl()->SetXonXoffOut(true);
    port.FlowControl()->SetXonXoffIn(true);
    port.FlowControl()->SetXonChar(0x11 + 1);
    line = lineOf(pty);
    // A pseudo-terminal keeps 8 data bits without parity whatever it is told; the rest
    // reaches it.
    EXPECT_TRUE(line.extraStopBits);
    EXPECT_TRUE(line.hardwareFlow);
    EXPECT_TRUE(line.xonXoffOut);
    EXPECT_TRUE(line.xonXoffIn);
    EXPECT_EQ(line.xonChar, 0x12);
    EXPECT_EQ(line.xoffChar, 19);
    EXPECT_EQ(port.LineConfig().dataBits, 7);
    EXPECT_EQ(port.LineConfig().parity, Tty::Parity::Mark);

    port.Parity()->SetBits(TParityBits::prSpace);
    EXPECT_EQ(port.LineConfig().parity, Tty::Parity::Space);
    port.Parity()->SetBits(TParityBits::prOdd);
    EXPECT_EQ(port.LineConfig().parity, Tty::Parity::Odd);
    port.Parity()->SetBits(TParityBits::prEven);
    EXPECT_EQ(port.LineConfig().parity, Tty::Parity::Even);
    port.Parity()->SetCheck(true);
    EXPECT_FALSE(lineOf(pty).checkParity) << "without Replace the byte is passed on as received";
    port.Parity()->SetReplace(true);
    line = lineOf(pty);
    EXPECT_TRUE(line.checkParity);
    EXPECT_TRUE(line.markErrors);

    port.FlowControl()->SetControlRTS(TRTSFlowControl::rtsEnable);
    EXPECT_FALSE(lineOf(pty).hardwareFlow);
    port.FlowControl()->SetOutCTSFlow(true);
    EXPECT_TRUE(lineOf(pty).hardwareFlow);

    port.SetStopBits(TStopBits::sbOneStopBit);
    port.SetDataBits(TDataBits::dbFive);
    port.SetStopBits(TStopBits::sbOne5StopBits);
    EXPECT_EQ(port.LineConfig().dataBits, 5);
    EXPECT_TRUE(lineOf(pty).extraStopBits);
}

TEST_F(PortOnPty, WithParityReplacementMarkedInputIsDecoded) {
    port.Parity()->SetCheck(true);
    port.Parity()->SetReplace(true);
    port.Parity()->SetReplaceChar('?');
    port.SetEvents({});
    port.Open();
    // With error marking on, the kernel doubles a received 0xFF; the reader sees it once.
    pty.writeMaster(
        QByteArray("a\xFF"
                   "b\xFF",
                   4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.BytesWaiting() == 6; }, 2000));
    QByteArray str;
    EXPECT_EQ(port.ReadStr(str, 3), 2);
    EXPECT_EQ(str, QByteArray("a\xFF"));
    EXPECT_EQ(port.ReadStr(str, 2), 1) << "a doubled 0xFF cut between two reads";
    EXPECT_EQ(str, "b");
    EXPECT_EQ(port.ReadStr(str, 5), 1);
    EXPECT_EQ(str, QByteArray("\xFF"));
}

TEST_F(PortOnPty, ImpossibleLineSettingsFailWithSevenAndKeepTheValueAndTheLine) {
    port.Open();
    const EComPort stop = comErrorOf([&] { port.SetStopBits(TStopBits::sbOne5StopBits); });
    EXPECT_EQ(stop.ErrorCode(), 7);
    EXPECT_EQ(stop.SystemCode(), EINVAL);
    EXPECT_EQ(port.StopBits(), TStopBits::sbOne5StopBits) << "the new value stays stored";
    EXPECT_TRUE(port.Connected());
    EXPECT_FALSE(lineOf(pty).extraStopBits) << "the device keeps its previous settings";

    port.SetStopBits(TStopBits::sbTwoStopBits);
    EXPECT_EQ(comErrorOf([&] { port.SetDataBits(TDataBits::dbFive); }).ErrorCode(), 7);
    port.SetStopBits(TStopBits::sbOneStopBit);

    const EComPort dsr = comErrorOf([&] { port.FlowControl()->SetOutDSRFlow(true); });
    EXPECT_EQ(dsr.ErrorCode(), 7);
    EXPECT_EQ(dsr.SystemCode(), EOPNOTSUPP);
    port.FlowControl()->SetOutDSRFlow(false);

    // A pseudo-terminal has no RS-485 mode to drive RTS while sending.
    EXPECT_EQ(comErrorOf([&] {
                  port.FlowControl()->SetControlRTS(TRTSFlowControl::rtsToggle);
              }).ErrorCode(),
              7);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.WriteStr("ok"), 2);
}

TEST_F(PortOnPty, OpenWithImpossibleSettingsReleasesTheDevice) {
    port.SetStopBits(TStopBits::sbOne5StopBits);
    EXPECT_EQ(comErrorOf([&] { port.Open(); }).ErrorCode(), 7);
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.HasEventThread());
    port.SetStopBits(TStopBits::sbOneStopBit);
    EXPECT_NO_THROW(port.Open()) << "the device was left locked";
    EXPECT_TRUE(port.Connected());
}

TEST_F(PortOnPty, ReadStrWithCountZeroAndAboveWhatArrived) {
    port.Open();
    pty.writeMaster("abc");
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.BytesWaiting() == 3; }, 2000));
    QByteArray str = "old";
    EXPECT_EQ(port.ReadStr(str, 0), 0);
    EXPECT_TRUE(str.isEmpty());
    EXPECT_EQ(port.ReadStr(str, 10), 3);
    EXPECT_EQ(str, "abc");
    EXPECT_EQ(port.ReadStr(str, 10), 0) << "default time-outs return at once";
    EXPECT_TRUE(str.isEmpty());
    pty.writeMaster("d");
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.BytesWaiting() == 1; }, 2000));
    EXPECT_EQ(port.ReadStr(str, 1 << 30), 1) << "a huge count costs no huge buffer";
}

TEST_F(PortOnPty, ReadTimeoutsWaitAsConfigured) {
    port.SetEvents({});
    port.Open();
    QByteArray str;
    QElapsedTimer clock;

    // A total time-out: what arrived when it runs out.
    port.Timeouts()->SetReadInterval(0);
    port.Timeouts()->SetReadTotalConstant(300);
    pty.writeMaster("xy");
    clock.start();
    EXPECT_EQ(port.ReadStr(str, 5), 2);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(str, "xy");

    // No limit at all: until the count has arrived.
    port.Timeouts()->SetReadTotalConstant(0);
    std::thread writer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.writeMaster("12");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.writeMaster("34");
    });
    EXPECT_EQ(port.ReadStr(str, 4), 4);
    writer.join();
    EXPECT_EQ(str, "1234");

    // The gap after the first byte.
    port.Timeouts()->SetReadInterval(150);
    pty.writeMaster("g");
    clock.start();
    EXPECT_EQ(port.ReadStr(str, 10), 1);
    EXPECT_GE(clock.elapsed(), 100);

    // Wait for the first byte only, then return what is there.
    port.Timeouts()->SetReadInterval(-1);
    port.Timeouts()->SetReadTotalMultiplier(-1);
    port.Timeouts()->SetReadTotalConstant(600000);
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.writeMaster("late");
    });
    EXPECT_GE(watchedRead(port, str, 10), 1);
    late.join();
    EXPECT_TRUE(QByteArray("late").startsWith(str));
}

TEST_F(PortOnPty, AbortPendingEndsAWaitingReadAsFailedAndLeavesNoTrace) {
    port.SetEvents({});
    port.Timeouts()->SetReadInterval(0);
    port.Open();
    std::thread aborter([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.AbortPending();
    });
    QByteArray str;
    const EComPort error = comErrorOf([&] { port.ReadStr(str, 4); });
    aborter.join();
    EXPECT_EQ(error.ErrorCode(), 3);
    EXPECT_EQ(error.SystemCode(), ECANCELED);

    port.Timeouts()->SetReadInterval(-1);
    pty.writeMaster("z");
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.BytesWaiting() == 1; }, 2000));
    EXPECT_EQ(port.ReadStr(str, 4), 1) << "the abort must not hit the next read";
}

TEST_F(PortOnPty, WriteTimeOutReturnsTheBytesTaken) {
    port.SetEvents({});
    port.Timeouts()->SetWriteTotalMultiplier(0);
    port.Timeouts()->SetWriteTotalConstant(200);
    port.Open();
    // Nobody reads the master, so the line backs up.
    const QByteArray big(4 * 1024 * 1024, 'w');
    QElapsedTimer clock;
    clock.start();
    const int written = port.WriteStr(big);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, big.size());
    EXPECT_GE(clock.elapsed(), 150);
}

TEST(TComPortClose, WaitsForQueuedOutputOnlyAsLongAsTheLineNeedsIt) {
    // Close runs on the user-interface thread: a frame still queued gets its time on the line,
    // not a blanket two seconds.
    TComPort port;
    EXPECT_EQ(port.DrainTimeMs(0), 0);
    // 6 bytes of 10 bits at 9600 bit/s: 6.25 ms.
    const int frame = port.DrainTimeMs(6);
    EXPECT_GE(frame, 7);
    EXPECT_LE(frame, 50);
    // Parity and two stop bits make 12 bits a byte: 1200 bytes at 9600 bit/s take 1.5 s.
    port.Parity()->SetBits(TParityBits::prEven);
    port.SetStopBits(TStopBits::sbTwoStopBits);
    EXPECT_GE(port.DrainTimeMs(1200), 1500);
    EXPECT_LE(port.DrainTimeMs(1200), 1550);
    port.SetBaudRate(TBaudRate::br115200);
    EXPECT_LE(port.DrainTimeMs(6), 30);
    // A queue the line would need minutes for (or a handshake held off) is cut at 2 s.
    port.SetBaudRate(TBaudRate::br110);
    EXPECT_EQ(port.DrainTimeMs(4096), 2000);
}

TEST_F(PortOnPty, DiscardNullDropsZeroBytes) {
    port.SetDiscardNull(true);
    port.Open();
    pty.writeMaster(QByteArray("a\0b\0", 4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.BytesWaiting() == 4; }, 2000));
    QByteArray str;
    EXPECT_EQ(port.ReadStr(str, 4), 2);
    EXPECT_EQ(str, "ab");
}

TEST_F(PortOnPty, PortChangeWhileOpenClosesAndReopens) {
    PtyPair second;
    ASSERT_TRUE(second.ok());
    TComDevicePaths paths = port.DevicePaths();
    paths.SetPath(TPortType::COM2, second.slavePath());
    paths.SetPath(TPortType::COM3, QStringLiteral("/nonexistent/ttyACM7"));
    port.SetDevicePaths(paths);
    QStringList calls;
    port.OnOpen = [&](QObject* sender) {
        EXPECT_EQ(sender, &port);
        calls << "open " + port.DeviceName();
    };
    port.OnClose = [&](QObject*) { calls << "close " + port.DeviceName(); };

    port.Open();
    port.SetPort(TPortType::COM2);
    EXPECT_EQ(calls, QStringList({"open COM1", "close COM2", "open COM2"}));
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(port.EventThreadRunning());
    port.WriteStr("two");
    EXPECT_EQ(second.readMaster(3), "two");

    port.SetPort(TPortType::COM2);
    EXPECT_EQ(calls.size(), 3) << "the current value changes nothing";

    EXPECT_EQ(comErrorOf([&] { port.SetPort(TPortType::COM3); }).ErrorCode(), 1);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), TPortType::COM3);
}

TEST_F(PortOnPty, SyncMethodIsFixedWhileOpen) {
    port.Open();
    EXPECT_NO_THROW(port.SetSyncMethod(TSyncMethod::smThreadSync));
    const EComPort error = comErrorOf([&] { port.SetSyncMethod(TSyncMethod::smNone); });
    EXPECT_EQ(error.ErrorCode(), 14);
    EXPECT_EQ(error.SystemCode(), -1);
    EXPECT_STREQ(error.what(), "Cannot set SyncMethod while connected");
    EXPECT_EQ(port.SyncMethod(), TSyncMethod::smThreadSync);
    port.Close();
    port.SetSyncMethod(TSyncMethod::smNone);
    EXPECT_EQ(port.SyncMethod(), TSyncMethod::smNone);
}

TEST_F(PortOnPty, LineSignalsAndErrorsOfADeviceWithoutModemLines) {
    port.Open();
    EXPECT_EQ(comErrorOf([&] { port.LineSignals(); }).ErrorCode(), 11);
    EXPECT_TRUE(port.TakeLineErrors().Empty());
}

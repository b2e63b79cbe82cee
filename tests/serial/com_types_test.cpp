#include <gtest/gtest.h>

#include <grp.h>
#include <unistd.h>
#include <QFile>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QTemporaryDir>
#include <cerrno>
#include <stdexcept>

#include "serial/com_device_paths.h"
#include "serial/com_error.h"
#include "serial/com_event_flags.h"
#include "serial/com_failure_text.h"
#include "serial/com_port.h"

namespace {

template <typename E>
QStringList namesOf() {
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    QStringList names;
    for (int i = 0; i < meta.keyCount(); ++i) {
        EXPECT_EQ(meta.value(i), i) << "ordinal is the position";
        names << QString::fromLatin1(meta.key(i));
    }
    return names;
}

}  // namespace

TEST(ComTypes, EnumerationNamesAreTheStoredTextInOrder) {
    EXPECT_EQ(namesOf<TPortType>().join(' '), "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8");
    EXPECT_EQ(namesOf<TBaudRate>().join(' '),
              "br110 br300 br600 br1200 br2400 br4800 br9600 br14400 br19200 br38400 br56000 "
              "br57600 br115200");
    EXPECT_EQ(namesOf<TStopBits>().join(' '), "sbOneStopBit sbOne5StopBits sbTwoStopBits");
    EXPECT_EQ(namesOf<TDataBits>().join(' '), "dbFive dbSix dbSeven dbEight");
    EXPECT_EQ(namesOf<TParityBits>().join(' '), "prNone prOdd prEven prMark prSpace");
    EXPECT_EQ(namesOf<TDTRFlowControl>().join(' '), "dtrDisable dtrEnable dtrHandshake");
    EXPECT_EQ(namesOf<TRTSFlowControl>().join(' '), "rtsDisable rtsEnable rtsHandshake rtsToggle");
    EXPECT_EQ(namesOf<TEvent>().join(' '),
              "evRxChar evTxEmpty evRxFlag evRing evBreak evCTS evDSR evError evRLSD evRx80Full");
    EXPECT_EQ(namesOf<TSyncMethod>().join(' '), "smThreadSync smWindowSync smNone");
}

TEST(ComTypes, EveryRateNamedAndTheFullEventMask) {
    const QMetaEnum rates = QMetaEnum::fromType<TBaudRate>();
    for (int i = 0; i < rates.keyCount(); ++i) {
        EXPECT_EQ(QStringLiteral("br%1").arg(ComTypes::BaudRateValue(static_cast<TBaudRate>(i))),
                  QString::fromLatin1(rates.key(i)));
    }
    EXPECT_EQ(ComEventFlag::Mask(ComTypes::AllEvents), 1535U);
    EXPECT_EQ(ComEventFlag::Mask({TEvent::evRxChar, TEvent::evRing}), 257U);
    EXPECT_EQ(ComEventFlag::Mask({}), 0U);
}

TEST(ComTypes, SetsUseBitNForOrdinalN) {
    TEvents events{TEvent::evRxChar, TEvent::evRx80Full};
    EXPECT_EQ(events.Bits(), 0x0201);
    EXPECT_TRUE(events.Contains(TEvent::evRx80Full));
    events.Remove(TEvent::evRx80Full);
    EXPECT_FALSE(events.Contains(TEvent::evRx80Full));
    EXPECT_EQ(TComErrors{TComError::leTxFull}.Bits(), 0x80);
    EXPECT_TRUE(TLineSignals{}.Empty());
}

TEST(EComPort, TextWithErrnoSuffixOrAlone) {
    const EComPort missing(ComErrorCode::OpenFailed, 2);
    EXPECT_STREQ(missing.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(missing.ErrorCode(), 1);
    EXPECT_EQ(missing.SystemCode(), 2);

    const EComPort sync(ComErrorCode::SyncMethodWhileConnected);
    EXPECT_STREQ(sync.what(), "Cannot set SyncMethod while connected");
    EXPECT_EQ(sync.SystemCode(), -1);

    EXPECT_EQ(EComPort::Text(8), "SetCommTimeouts failed");
    EXPECT_EQ(EComPort::Text(11), "GetCommModemStatus function failed");
    EXPECT_EQ(EComPort::Text(0), "");
    EXPECT_EQ(EComPort::Text(15), "");
}

TEST(ComDevicePaths, UnmappedPortsAreTheOnBoardUartsAndKeysAreComNames) {
    TComDevicePaths paths;
    EXPECT_EQ(paths.PathFor(TPortType::COM1), "/dev/ttyS0");
    EXPECT_EQ(paths.PathFor(TPortType::COM8), "/dev/ttyS7");

    EXPECT_TRUE(paths.SetPath(QStringLiteral("com3"), QStringLiteral(" /dev/ttyUSB0 ")));
    EXPECT_EQ(paths.PathFor(TPortType::COM3), "/dev/ttyUSB0");
    EXPECT_FALSE(paths.SetPath(QStringLiteral("COM9"), QStringLiteral("/dev/ttyUSB1")));
    EXPECT_FALSE(paths.SetPath(QStringLiteral("LPT1"), QStringLiteral("/dev/ttyUSB1")));

    EXPECT_TRUE(paths.SetPath(QStringLiteral("COM3"), QStringLiteral("  ")));
    EXPECT_EQ(paths.PathFor(TPortType::COM3), "/dev/ttyS2");
}

TEST(TComPortProperties, DefaultsAndPublishedNames) {
    TComPort port;
    EXPECT_EQ(port.DeviceName(), "COM1");
    EXPECT_EQ(port.BaudRate(), TBaudRate::br9600);
    EXPECT_EQ(port.DataBits(), TDataBits::dbEight);
    EXPECT_EQ(port.StopBits(), TStopBits::sbOneStopBit);
    EXPECT_EQ(port.Events(), ComTypes::AllEvents);
    EXPECT_EQ(port.SyncMethod(), TSyncMethod::smThreadSync);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.FlowControl()->XonChar(), 17);
    EXPECT_EQ(port.FlowControl()->XoffChar(), 19);
    EXPECT_EQ(port.Timeouts()->ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts()->WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 1000);
    EXPECT_EQ(port.Buffer()->InputSize(), 1024U);

    // The settings file reads and writes these by name, enumerations as their names.
    const QMetaObject* meta = port.metaObject();
    const QMetaProperty baud = meta->property(meta->indexOfProperty("BaudRate"));
    ASSERT_TRUE(baud.isValid());
    ASSERT_TRUE(baud.isEnumType());
    EXPECT_STREQ(baud.enumerator().valueToKey(baud.read(&port).toInt()), "br9600");
    ASSERT_TRUE(baud.write(&port, static_cast<int>(TBaudRate::br56000)));
    EXPECT_EQ(port.BaudRate(), TBaudRate::br56000);

    auto* parity = port.property("Parity").value<TComParity*>();
    ASSERT_EQ(parity, port.Parity());
    const QMetaProperty bits =
        parity->metaObject()->property(parity->metaObject()->indexOfProperty("Bits"));
    ASSERT_TRUE(bits.isEnumType());
    EXPECT_STREQ(bits.enumerator().valueToKey(bits.read(parity).toInt()), "prNone");
    EXPECT_TRUE(parity->setProperty("ReplaceChar", 63));
    EXPECT_EQ(port.Parity()->ReplaceChar(), 63);
}

TEST(ComSettingsGroups, AssignCopiesEveryValueAndRefusesAnotherClass) {
    TComPort port;
    TComFlowControl flow;
    flow.SetOutCTSFlow(true);
    flow.SetControlRTS(TRTSFlowControl::rtsHandshake);
    flow.SetXonXoffIn(true);
    flow.SetXonChar(1);
    flow.SetXoffChar(2);
    port.SetFlowControl(&flow);
    EXPECT_TRUE(port.FlowControl()->OutCTSFlow());
    EXPECT_EQ(port.FlowControl()->ControlRTS(), TRTSFlowControl::rtsHandshake);
    EXPECT_TRUE(port.FlowControl()->XonXoffIn());
    EXPECT_EQ(port.FlowControl()->XonChar(), 1);
    EXPECT_EQ(port.FlowControl()->XoffChar(), 2);
    EXPECT_NE(port.FlowControl(), &flow) << "the port keeps its own group";

    TComTimeouts timeouts;
    timeouts.SetReadInterval(5);
    timeouts.SetWriteTotalConstant(7);
    *port.Timeouts() = timeouts;
    EXPECT_EQ(port.Timeouts()->ReadInterval(), 5);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 7);

    TComParity parity;
    try {
        port.Buffer()->Assign(&parity);
        FAIL() << "a parity group was assigned to a buffer group";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TComParity to a TComBuffer");
    }
    EXPECT_THROW(port.Parity()->Assign(nullptr), std::invalid_argument);
}

TEST(ComFailureText, ADeniedDeviceNamesTheGroupThatMayUseIt) {
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
    QFile file(device);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    if (::chown(device.toLocal8Bit().constData(), -1, 0) != 0) {
        GTEST_SKIP() << "needs root to give the device file a group";
    }
    const EComPort denied(ComErrorCode::OpenFailed, EACCES);
    // Root's group tells nothing: the usual group of serial devices is named.
    EXPECT_EQ(ComFailureText(denied, device),
              device + QStringLiteral(": permission denied: add the user to the group dialout"));
    const group* other = ::getgrnam("audio");
    if (other != nullptr && ::chown(device.toLocal8Bit().constData(), -1, other->gr_gid) == 0) {
        EXPECT_EQ(ComFailureText(denied, device),
                  device + QStringLiteral(": permission denied: add the user to the group audio"));
    }
}

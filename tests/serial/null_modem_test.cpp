#include <gtest/gtest.h>

#include <QTest>

#include "port_fixture.h"

// Two ports joined like two machines on a null-modem cable: what one writes, the other's
// receive handler reads, in both directions, as the Master and a Slave use them.
TEST(NullModem, FramesFlowBothWaysBetweenTwoPorts) {
    NullModem cable;
    ASSERT_TRUE(cable.ok()) << "socat could not link two pseudo-terminals";
    TComDevicePaths paths;
    paths.SetPath(TPortType::COM1, cable.pathA());
    paths.SetPath(TPortType::COM2, cable.pathB());
    TComPort master;
    TComPort slave;
    master.SetDevicePaths(paths);
    slave.SetDevicePaths(paths);
    slave.SetPort(TPortType::COM2);
    master.SetBaudRate(TBaudRate::br56000);
    slave.SetBaudRate(TBaudRate::br56000);

    QByteArray atSlave;
    QByteArray atMaster;
    const auto reader = [](TComPort& port, QByteArray& into) {
        return [&port, &into](QObject*, int count) {
            QByteArray str;
            port.ReadStr(str, count);
            into += str;
        };
    };
    slave.OnRxChar = reader(slave, atSlave);
    master.OnRxChar = reader(master, atMaster);
    master.Open();
    slave.Open();

    const QByteArray frames = "_ClLi*_SeLi100*_SeLi250*_Play*";
    EXPECT_EQ(master.WriteStr(frames), frames.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return atSlave.size() >= frames.size(); }, 5000));
    EXPECT_EQ(atSlave, frames);

    EXPECT_EQ(slave.WriteStr("_Stop*"), 6);
    ASSERT_TRUE(QTest::qWaitFor([&] { return atMaster.size() >= 6; }, 5000));
    EXPECT_EQ(atMaster, "_Stop*");
    slave.Close();
    master.Close();
}

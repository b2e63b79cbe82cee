#pragma once

#include <QStringList>

// The main window's stored properties, in the order in which they are loaded and saved
// (TFormStorage::StoredProps). Keys in the settings file are "Component_Property"; the list
// lbCut.Items has a section of its own, "System.lbCut_Items".
inline QStringList frameLockStoredProps() {
    return {
        QStringLiteral("StatusTimer.Interval"),
        QStringLiteral("cbAutoStart.Checked"),
        QStringLiteral("cbLock.Checked"),
        QStringLiteral("Client.Port"),
        QStringLiteral("Server.Port"),
        QStringLiteral("SharedClock.Port"),
        QStringLiteral("SharedClock.DriftPpm"),
        QStringLiteral("cbFullscreen.Checked"),
        QStringLiteral("cbRepeat.Checked"),
        QStringLiteral("eFilename.Text"),
        QStringLiteral("ClientStatusTimer.Interval"),
        QStringLiteral("OpenTimer.Interval"),
        QStringLiteral("StartTimer.Interval"),
        QStringLiteral("TestTimer.Interval"),
        QStringLiteral("rbCom.Checked"),
        QStringLiteral("rbLan.Checked"),
        QStringLiteral("rbMaster.Checked"),
        QStringLiteral("rbSlave.Checked"),
        QStringLiteral("sbGerman.Down"),
        QStringLiteral("sbUSA.Down"),
        QStringLiteral("ComPort1.BaudRate"),
        QStringLiteral("ComPort2.BaudRate"),
        QStringLiteral("ComPort1.DataBits"),
        QStringLiteral("ComPort2.DataBits"),
        QStringLiteral("ComPort1.Parity"),
        QStringLiteral("ComPort2.Parity"),
        QStringLiteral("ComPort1.StopBits"),
        QStringLiteral("ComPort2.StopBits"),
        QStringLiteral("ComportsNr.ktInteger1"),
        QStringLiteral("ComportsNr.ktInteger2"),
        QStringLiteral("eSlaveIP.Text"),
        QStringLiteral("tbSync.Position"),
        QStringLiteral("lbCut.Items"),
        QStringLiteral("eIn.Value"),
        QStringLiteral("ComportsNr.ktBoolean"),
        QStringLiteral("Server.CommandHosts"),
        QStringLiteral("Remote.HttpPort"),
        QStringLiteral("Remote.OscPort"),
        QStringLiteral("Remote.Token"),
    };
}

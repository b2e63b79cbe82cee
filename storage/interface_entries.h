#pragma once

#include <array>
#include <string_view>

// The texts the language files set on the main window: exactly these 78 "Interface" keys, the
// count that the language component checks (ktExpectedProbs). The main window must own a
// control of each name with the property named, and each language file must carry every key.
// Captions, hints and the item lists of the two port boxes; lSend, lSync, lReceive and lThru
// are the small captions beside the four LEDs.
inline constexpr std::array<std::string_view, 78> kInterfaceEntries = {
    "fFrameLock.Caption",
    "fFrameLock.bAbout.Caption",
    "fFrameLock.bAbout.Hint",
    "fFrameLock.bHelp.Caption",
    "fFrameLock.bHelp.Hint",
    "fFrameLock.sbUSA.Caption",
    "fFrameLock.sbUSA.Hint",
    "fFrameLock.sbGerman.Caption",
    "fFrameLock.sbGerman.Hint",
    "fFrameLock.cbLock.Caption",
    "fFrameLock.cbLock.Hint",
    "fFrameLock.gbIm.Caption",
    "fFrameLock.rbMaster.Caption",
    "fFrameLock.rbMaster.Hint",
    "fFrameLock.rbSlave.Caption",
    "fFrameLock.rbSlave.Hint",
    "fFrameLock.rbLan.Caption",
    "fFrameLock.rbLan.Hint",
    "fFrameLock.rbCom.Caption",
    "fFrameLock.rbCom.Hint",
    "fFrameLock.cbFullscreen.Caption",
    "fFrameLock.cbFullscreen.Hint",
    "fFrameLock.cbRepeat.Caption",
    "fFrameLock.cbRepeat.Hint",
    "fFrameLock.gbFile.Caption",
    "fFrameLock.bFile.Caption",
    "fFrameLock.bFile.Hint",
    "fFrameLock.eIn.Hint",
    "fFrameLock.gbMaster.Caption",
    "fFrameLock.cbAutoStart.Caption",
    "fFrameLock.cbAutoStart.Hint",
    "fFrameLock.cbTest.Caption",
    "fFrameLock.cbTest.Hint",
    "fFrameLock.tbSync.Hint",
    "fFrameLock.lSend.Caption",
    "fFrameLock.masterled.Hint",
    "fFrameLock.lSync.Caption",
    "fFrameLock.syncLed.Hint",
    "fFrameLock.gbSlave.Caption",
    "fFrameLock.lReceive.Caption",
    "fFrameLock.slaveled.Hint",
    "fFrameLock.gbSync.Caption",
    "fFrameLock.lbCut.Hint",
    "fFrameLock.bGo.Caption",
    "fFrameLock.bGo.Hint",
    "fFrameLock.bDelete.Caption",
    "fFrameLock.bDelete.Hint",
    "fFrameLock.gbNavigate.Caption",
    "fFrameLock.bPlay.Caption",
    "fFrameLock.bPlay.Hint",
    "fFrameLock.bStop.Caption",
    "fFrameLock.bStop.Hint",
    "fFrameLock.bRewind.Caption",
    "fFrameLock.bRewind.Hint",
    "fFrameLock.tbPosition.Hint",
    "fFrameLock.seAktFrame.Hint",
    "fFrameLock.bSet.Caption",
    "fFrameLock.bSet.Hint",
    "fFrameLock.bSetIn.Caption",
    "fFrameLock.bSetIn.Hint",
    "fFrameLock.gbLanMaster.Caption",
    "fFrameLock.lbConnected.Hint",
    "fFrameLock.eServerStatus.Hint",
    "fFrameLock.lMasterIP.Hint",
    "fFrameLock.gbLanSlave.Caption",
    "fFrameLock.eSlaveIP.Hint",
    "fFrameLock.eClientStatus.Hint",
    "fFrameLock.gbCom.Caption",
    "fFrameLock.cbCom1.Items.Text",
    "fFrameLock.cbCom1.Hint",
    "fFrameLock.cbCom2.Items.Text",
    "fFrameLock.cbCom2.Hint",
    "fFrameLock.lCom1Master.Caption",
    "fFrameLock.lCom2Master.Caption",
    "fFrameLock.lCom1Slave.Caption",
    "fFrameLock.lCom2Slave.Caption",
    "fFrameLock.lThru.Caption",
    "fFrameLock.thruled.Hint",
};

// Every "Messages" key the program looks up; each language file carries all of them.
inline constexpr std::array<std::string_view, 15> kMessageKeys = {
    "ErrMsg_OpenFile",       "ErrTitel_SetOpenFile", "ErrMsg_SetComPort1",
    "ErrMsg_SetComPort2",    "ErrTitel_SetComPort",  "ErrMsg_SetSyncPoint",
    "ErrTitel_SetSyncPoint", "Msg_Unlock",           "MsgTitel_Unlock",
    "Msg_SetInPoint",        "MsgTitel_SetInPoint",  "TxT_ClientStatusConnect",
    "TxT_ServerOK",          "TxT_WhereisFile",      "TxT_ComPortLost",
};

// The character typed just before the click that releases the interface lock; "Msg_Unlock"
// tells the operator so in every language.
inline constexpr char16_t kUnlockCharacter = u'#';

#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStringList>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include "app/kt_props.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "support/recording_dialogs.h"
#include "widgets/gui/combo_box.h"
#include "widgets/gui/kt_spin_edit.h"
#include "widgets/gui/led_indicator.h"
#include "widgets/gui/list_box.h"

// A form like the main window, with its controls and components under their names, for the
// storage's workings; RealComponentsTest reads the real window's stored properties.
class TestFrameLock : public QWidget {
    Q_OBJECT

public:
    TestFrameLock();

    template <typename T>
    T* add(const QString& name, QWidget* parent = nullptr) {
        T* control = new T(parent ? parent : this);
        control->setObjectName(name);
        return control;
    }
    QTimer* timer(const QString& name, int interval);
    TktSpinEdit* spinEdit(const QString& name, QWidget* parent = nullptr);

    // The spin edits beep through it on a refused key or step.
    RecordingDialogs dialogs;

    QCheckBox *cbAutoStart, *cbLock, *cbFullscreen, *cbRepeat, *cbTest;
    QRadioButton *rbMaster, *rbSlave, *rbLan, *rbCom;
    QToolButton *sbUSA, *sbGerman;
    QLineEdit *eFilename, *eSlaveIP, *eServerStatus, *eClientStatus;
    QSlider *tbSync, *tbPosition;
    TktSpinEdit *eIn, *seAktFrame;
    TLedIndicator *masterled, *syncLed, *slaveled, *thruled;
    TListBox *lbCut, *lbConnected;
    TComboBox *cbCom1, *cbCom2;
    QGroupBox* gbIm;
    TSimpleTCPClient* Client;
    TSimpleTCPServer* Server;
    TComPort *ComPort1, *ComPort2;
    TktProps* ComportsNr;
    QTimer *StatusTimer, *ClientStatusTimer, *OpenTimer, *StartTimer, *TestTimer;
    // Names of handlers in the order they ran.
    QStringList handlerRuns;
};

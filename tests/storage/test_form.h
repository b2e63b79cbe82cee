#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStringList>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "serial/com_port.h"
#include "support/recording_dialogs.h"
#include "widgets/gui/kt_spin_edit.h"
#include "widgets/gui/led_indicator.h"

// Stand-ins for what has no component of its own yet: the property holder and the list controls,
// with the property names the settings list uses. Everything else on the test window is the real
// component the main window places.

class TestProps : public QObject {
    Q_OBJECT
    Q_PROPERTY(int ktInteger1 MEMBER ktInteger1)
    Q_PROPERTY(int ktInteger2 MEMBER ktInteger2)
    Q_PROPERTY(bool ktBoolean MEMBER ktBoolean)

public:
    TestProps(const QString& name, QObject* owner) : QObject(owner) { setObjectName(name); }
    int ktInteger1 = 0;
    int ktInteger2 = 0;
    bool ktBoolean = true;
};

class TestListBox : public QListWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ items WRITE setItems)

public:
    using QListWidget::QListWidget;
    QStringList items() const;
    void setItems(const QStringList& items);
};

class TestComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ items WRITE setItems)

public:
    using QComboBox::QComboBox;
    QStringList items() const;
    void setItems(const QStringList& items);
};

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
    TestListBox *lbCut, *lbConnected;
    TestComboBox *cbCom1, *cbCom2;
    QGroupBox* gbIm;
    TSimpleTCPClient* Client;
    TSimpleTCPServer* Server;
    TComPort *ComPort1, *ComPort2;
    TestProps* ComportsNr;
    QTimer *StatusTimer, *ClientStatusTimer, *OpenTimer, *StartTimer, *TestTimer;
    // Names of handlers in the order they ran.
    QStringList handlerRuns;
};

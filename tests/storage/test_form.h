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
#include <QSpinBox>
#include <QStringList>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

// Stand-ins for the main window's components, with the property names the settings list uses.

class TestParity : public QObject {
    Q_OBJECT
    Q_PROPERTY(TParityBits Bits MEMBER bits)
    Q_PROPERTY(bool Check MEMBER check)
    Q_PROPERTY(bool Replace MEMBER replace)
    Q_PROPERTY(quint8 ReplaceChar MEMBER replaceChar)

public:
    enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
    Q_ENUM(TParityBits)
    using QObject::QObject;

    TParityBits bits = prNone;
    bool check = false;
    bool replace = false;
    quint8 replaceChar = 0;
};

class TestComPort : public QObject {
    Q_OBJECT
    Q_PROPERTY(TBaudRate BaudRate MEMBER baudRate)
    Q_PROPERTY(TDataBits DataBits MEMBER dataBits)
    Q_PROPERTY(TStopBits StopBits MEMBER stopBits)
    Q_PROPERTY(TestParity* Parity READ parityObject)

public:
    enum TBaudRate {
        br110,
        br300,
        br600,
        br1200,
        br2400,
        br4800,
        br9600,
        br14400,
        br19200,
        br38400,
        br56000,
        br57600,
        br115200
    };
    Q_ENUM(TBaudRate)
    enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
    Q_ENUM(TDataBits)
    enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
    Q_ENUM(TStopBits)

    explicit TestComPort(const QString& name, QObject* owner) : QObject(owner), parity(this) {
        setObjectName(name);
    }
    TestParity* parityObject() { return &parity; }

    TBaudRate baudRate = br9600;
    TDataBits dataBits = dbEight;
    TStopBits stopBits = sbOneStopBit;
    TestParity parity;
};

class TestSocket : public QObject {
    Q_OBJECT
    Q_PROPERTY(quint16 Port MEMBER port)

public:
    TestSocket(const QString& name, QObject* owner) : QObject(owner) { setObjectName(name); }
    quint16 port = 8234;
};

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

// The main window's controls and components under their names, with the design values.
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

    QCheckBox *cbAutoStart, *cbLock, *cbFullscreen, *cbRepeat, *cbTest;
    QRadioButton *rbMaster, *rbSlave, *rbLan, *rbCom;
    QToolButton *sbUSA, *sbGerman;
    QLineEdit *eFilename, *eSlaveIP, *eServerStatus, *eClientStatus;
    QSlider *tbSync, *tbPosition;
    QSpinBox *eIn, *seAktFrame;
    TestListBox *lbCut, *lbConnected;
    TestComboBox *cbCom1, *cbCom2;
    QGroupBox* gbIm;
    TestSocket *Client, *Server;
    TestComPort *ComPort1, *ComPort2;
    TestProps* ComportsNr;
    QTimer *StatusTimer, *ClientStatusTimer, *OpenTimer, *StartTimer, *TestTimer;
    // Names of handlers in the order they ran.
    QStringList handlerRuns;
};

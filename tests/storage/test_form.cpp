#include "test_form.h"

#include "storage/interface_entries.h"

#include <QButtonGroup>
#include <QVBoxLayout>
#include <limits>

QTimer* TestFrameLock::timer(const QString& name, int interval) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(interval);
    return t;
}

TktSpinEdit* TestFrameLock::spinEdit(const QString& name, QWidget* parent) {
    auto* edit = new TktSpinEdit(dialogs, parent ? parent : this);
    edit->setObjectName(name);
    return edit;
}

TestFrameLock::TestFrameLock() {
    setObjectName(QStringLiteral("fFrameLock"));
    setFixedSize(400, 300);

    auto* gbSec = add<QGroupBox>(QStringLiteral("gbSec"));
    gbIm = add<QGroupBox>(QStringLiteral("gbIm"));
    auto* pMaster = add<QWidget>(QStringLiteral("pMaster"), gbIm);
    auto* pLan = add<QWidget>(QStringLiteral("pLan"), gbIm);
    cbLock = add<QCheckBox>(QStringLiteral("cbLock"), gbSec);
    sbUSA = add<QToolButton>(QStringLiteral("sbUSA"), gbSec);
    sbGerman = add<QToolButton>(QStringLiteral("sbGerman"), gbSec);
    for (QToolButton* b : {sbUSA, sbGerman}) {
        b->setCheckable(true);
        b->setAutoExclusive(true);
    }
    sbUSA->setChecked(true);
    rbMaster = add<QRadioButton>(QStringLiteral("rbMaster"), pMaster);
    rbSlave = add<QRadioButton>(QStringLiteral("rbSlave"), pMaster);
    rbLan = add<QRadioButton>(QStringLiteral("rbLan"), pLan);
    rbCom = add<QRadioButton>(QStringLiteral("rbCom"), pLan);
    rbMaster->setChecked(true);
    rbLan->setChecked(true);
    cbFullscreen = add<QCheckBox>(QStringLiteral("cbFullscreen"), gbIm);
    cbRepeat = add<QCheckBox>(QStringLiteral("cbRepeat"), gbIm);
    cbRepeat->setChecked(true);
    cbAutoStart = add<QCheckBox>(QStringLiteral("cbAutoStart"));
    cbTest = add<QCheckBox>(QStringLiteral("cbTest"));
    eFilename = add<QLineEdit>(QStringLiteral("eFilename"));
    eSlaveIP = add<QLineEdit>(QStringLiteral("eSlaveIP"));
    eSlaveIP->setText(QStringLiteral("127.0.0.1"));
    eServerStatus = add<QLineEdit>(QStringLiteral("eServerStatus"));
    eClientStatus = add<QLineEdit>(QStringLiteral("eClientStatus"));
    tbSync = add<QSlider>(QStringLiteral("tbSync"));
    tbSync->setRange(1, 2000);
    tbSync->setValue(400);
    tbPosition = add<QSlider>(QStringLiteral("tbPosition"));
    tbPosition->setRange(0, 1000);
    eIn = spinEdit(QStringLiteral("eIn"));
    eIn->setMaxValue(std::numeric_limits<int>::max());
    seAktFrame = spinEdit(QStringLiteral("seAktFrame"));
    masterled = add<TLedIndicator>(QStringLiteral("masterled"));
    syncLed = add<TLedIndicator>(QStringLiteral("syncLed"));
    slaveled = add<TLedIndicator>(QStringLiteral("slaveled"));
    thruled = add<TLedIndicator>(QStringLiteral("thruled"));
    lbCut = add<TListBox>(QStringLiteral("lbCut"));
    lbConnected = add<TListBox>(QStringLiteral("lbConnected"));
    cbCom1 = add<TComboBox>(QStringLiteral("cbCom1"));
    cbCom2 = add<TComboBox>(QStringLiteral("cbCom2"));

    // Every remaining control the language files name.
    for (const std::string_view entry : kInterfaceEntries) {
        const QStringList parts = QString::fromLatin1(entry.data(), entry.size()).split(u'.');
        if (parts.size() < 3 || findChild<QObject*>(parts[1])) {
            continue;
        }
        const QString& name = parts[1];
        if (name.startsWith(u"gb")) {
            add<QGroupBox>(name);
        } else if (name.startsWith(u'b')) {
            add<QPushButton>(name);
        } else if (name.startsWith(u'l')) {
            add<QLabel>(name);
        } else {
            add<QWidget>(name);
        }
    }

    Client = new TSimpleTCPClient(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setHost(QStringLiteral("127.0.0.1"));
    Client->setPort(8234);
    Server = new TSimpleTCPServer(this);
    Server->setObjectName(QStringLiteral("Server"));
    Server->setPort(8234);
    // The port settings are the component's own defaults: 9600 baud, 8 data bits, no parity,
    // one stop bit.
    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    ComPort2 = new TComPort(this);
    ComPort2->setObjectName(QStringLiteral("ComPort2"));
    ComportsNr = new TktProps(this);
    ComportsNr->setObjectName(QStringLiteral("ComportsNr"));
    StatusTimer = timer(QStringLiteral("StatusTimer"), 1000);
    ClientStatusTimer = timer(QStringLiteral("ClientStatusTimer"), 2000);
    OpenTimer = timer(QStringLiteral("OpenTimer"), 2000);
    StartTimer = timer(QStringLiteral("StartTimer"), 400);
    TestTimer = timer(QStringLiteral("TestTimer"), 1000);

    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             cbAutoStart, cbLock, cbFullscreen, cbRepeat, rbMaster, rbSlave, rbLan, rbCom}) {
        connect(b, &QAbstractButton::toggled, this,
                [this, b] { handlerRuns << b->objectName() + QStringLiteral("Click"); });
    }
    connect(tbSync, &QSlider::valueChanged, this,
            [this] { handlerRuns << QStringLiteral("tbSyncChange"); });
}

#pragma once

#include <QObject>

// A plain holder of values kept in the settings file: the chosen serial ports (0 no device,
// n COMn) and whether the splash window shows at start-up. Nothing in the program changes
// ktBoolean; only the settings file does.
class TktProps : public QObject {
    Q_OBJECT
    Q_PROPERTY(int ktInteger1 READ ktInteger1 WRITE setKtInteger1)
    Q_PROPERTY(int ktInteger2 READ ktInteger2 WRITE setKtInteger2)
    Q_PROPERTY(bool ktBoolean READ ktBoolean WRITE setKtBoolean)

public:
    using QObject::QObject;

    int ktInteger1() const { return ktInteger1_; }
    void setKtInteger1(int value) { ktInteger1_ = value; }
    int ktInteger2() const { return ktInteger2_; }
    void setKtInteger2(int value) { ktInteger2_ = value; }
    bool ktBoolean() const { return ktBoolean_; }
    void setKtBoolean(bool value) { ktBoolean_ = value; }

private:
    int ktInteger1_ = 0;
    int ktInteger2_ = 0;
    bool ktBoolean_ = true;
};

#pragma once

#include <QObject>
#include <cstdint>

#include "serial/com_types.h"

class TComPort;

// The four settings groups of a serial port (parity, flow control, time-outs, queue sizes).
// Each belongs to one port (or to none, when made as a source for an assignment). A setter that
// receives a new value stores it and, while the owning port is open, applies the whole group to
// the device at once; a failure there raises EComPort with the new value kept.
class TComSettingsGroup : public QObject {
    Q_OBJECT

public:
    explicit TComSettingsGroup(TComPort* port, QObject* parent);

    TComPort* Port() const { return port_; }

    // Copies every value of a group of the same class and applies them once; a source of any
    // other class is refused with std::invalid_argument ("Cannot assign a X to a Y").
    void Assign(const QObject* source);

protected:
    virtual void CopyFrom(const TComSettingsGroup& source) = 0;
    // Applies this group to the owning port if that port is open.
    virtual void ApplyToPort() = 0;

    template <typename T>
    void Change(T& field, T value) {
        if (field == value) {
            return;
        }
        field = value;
        ApplyToPort();
    }

private:
    TComPort* port_;
};

class TComParity : public TComSettingsGroup {
    Q_OBJECT
    Q_PROPERTY(ComTypes::TParityBits Bits READ Bits WRITE SetBits)
    Q_PROPERTY(bool Check READ Check WRITE SetCheck)
    Q_PROPERTY(bool Replace READ Replace WRITE SetReplace)
    Q_PROPERTY(quint8 ReplaceChar READ ReplaceChar WRITE SetReplaceChar)

public:
    explicit TComParity(TComPort* port = nullptr, QObject* parent = nullptr);
    TComParity& operator=(const TComParity& source);

    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits value) { Change(bits_, value); }
    bool Check() const { return check_; }
    void SetCheck(bool value) { Change(check_, value); }
    // With Check: bytes received with a parity error are replaced by ReplaceChar.
    bool Replace() const { return replace_; }
    void SetReplace(bool value) { Change(replace_, value); }
    quint8 ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(quint8 value) { Change(replaceChar_, value); }

protected:
    void CopyFrom(const TComSettingsGroup& source) override;
    void ApplyToPort() override;

private:
    TParityBits bits_ = TParityBits::prNone;
    bool check_ = false;
    bool replace_ = false;
    quint8 replaceChar_ = 0;
};

class TComFlowControl : public TComSettingsGroup {
    Q_OBJECT
    Q_PROPERTY(bool OutCTSFlow READ OutCTSFlow WRITE SetOutCTSFlow)
    Q_PROPERTY(bool OutDSRFlow READ OutDSRFlow WRITE SetOutDSRFlow)
    Q_PROPERTY(ComTypes::TDTRFlowControl ControlDTR READ ControlDTR WRITE SetControlDTR)
    Q_PROPERTY(ComTypes::TRTSFlowControl ControlRTS READ ControlRTS WRITE SetControlRTS)
    Q_PROPERTY(bool XonXoffOut READ XonXoffOut WRITE SetXonXoffOut)
    Q_PROPERTY(bool XonXoffIn READ XonXoffIn WRITE SetXonXoffIn)
    Q_PROPERTY(bool DSRSensitivity READ DSRSensitivity WRITE SetDSRSensitivity)
    Q_PROPERTY(bool TxContinueOnXoff READ TxContinueOnXoff WRITE SetTxContinueOnXoff)
    Q_PROPERTY(quint8 XonChar READ XonChar WRITE SetXonChar)
    Q_PROPERTY(quint8 XoffChar READ XoffChar WRITE SetXoffChar)

public:
    explicit TComFlowControl(TComPort* port = nullptr, QObject* parent = nullptr);
    TComFlowControl& operator=(const TComFlowControl& source);

    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool value) { Change(outCTSFlow_, value); }
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool value) { Change(outDSRFlow_, value); }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl value) { Change(controlDTR_, value); }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl value) { Change(controlRTS_, value); }
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value) { Change(xonXoffOut_, value); }
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value) { Change(xonXoffIn_, value); }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool value) { Change(dsrSensitivity_, value); }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value) { Change(txContinueOnXoff_, value); }
    quint8 XonChar() const { return xonChar_; }
    void SetXonChar(quint8 value) { Change(xonChar_, value); }
    quint8 XoffChar() const { return xoffChar_; }
    void SetXoffChar(quint8 value) { Change(xoffChar_, value); }

protected:
    void CopyFrom(const TComSettingsGroup& source) override;
    void ApplyToPort() override;

private:
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = TDTRFlowControl::dtrDisable;
    TRTSFlowControl controlRTS_ = TRTSFlowControl::rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    quint8 xonChar_ = 17;
    quint8 xoffChar_ = 19;
};

// Time-outs in milliseconds. The values are 32-bit words: -1 stands for "all bits set", which
// in ReadInterval (with both read totals 0) makes a read return at once with what has arrived.
class TComTimeouts : public TComSettingsGroup {
    Q_OBJECT
    Q_PROPERTY(int ReadInterval READ ReadInterval WRITE SetReadInterval)
    Q_PROPERTY(int ReadTotalMultiplier READ ReadTotalMultiplier WRITE SetReadTotalMultiplier)
    Q_PROPERTY(int ReadTotalConstant READ ReadTotalConstant WRITE SetReadTotalConstant)
    Q_PROPERTY(int WriteTotalMultiplier READ WriteTotalMultiplier WRITE SetWriteTotalMultiplier)
    Q_PROPERTY(int WriteTotalConstant READ WriteTotalConstant WRITE SetWriteTotalConstant)

public:
    explicit TComTimeouts(TComPort* port = nullptr, QObject* parent = nullptr);
    TComTimeouts& operator=(const TComTimeouts& source);

    int ReadInterval() const { return readInterval_; }
    void SetReadInterval(int value) { Change(readInterval_, value); }
    int ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(int value) { Change(readTotalMultiplier_, value); }
    int ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(int value) { Change(readTotalConstant_, value); }
    int WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(int value) { Change(writeTotalMultiplier_, value); }
    int WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(int value) { Change(writeTotalConstant_, value); }

protected:
    void CopyFrom(const TComSettingsGroup& source) override;
    void ApplyToPort() override;

private:
    int readInterval_ = -1;
    int readTotalMultiplier_ = 0;
    int readTotalConstant_ = 0;
    int writeTotalMultiplier_ = 100;
    int writeTotalConstant_ = 1000;
};

// Queue sizes in bytes.
class TComBuffer : public TComSettingsGroup {
    Q_OBJECT
    Q_PROPERTY(quint32 InputSize READ InputSize WRITE SetInputSize)
    Q_PROPERTY(quint32 OutputSize READ OutputSize WRITE SetOutputSize)

public:
    explicit TComBuffer(TComPort* port = nullptr, QObject* parent = nullptr);
    TComBuffer& operator=(const TComBuffer& source);

    quint32 InputSize() const { return inputSize_; }
    void SetInputSize(quint32 value) { Change(inputSize_, value); }
    quint32 OutputSize() const { return outputSize_; }
    void SetOutputSize(quint32 value) { Change(outputSize_, value); }

protected:
    void CopyFrom(const TComSettingsGroup& source) override;
    void ApplyToPort() override;

private:
    quint32 inputSize_ = 1024;
    quint32 outputSize_ = 1024;
};

#include "serial/com_settings.h"

#include <stdexcept>
#include <string>

#include "serial/com_port.h"

TComSettingsGroup::TComSettingsGroup(TComPort* port, QObject* parent)
    : QObject(parent), port_(port) {}

void TComSettingsGroup::Assign(const QObject* source) {
    if (source == nullptr || source->metaObject() != metaObject()) {
        const std::string from = source == nullptr ? "nil" : source->metaObject()->className();
        throw std::invalid_argument("Cannot assign a " + from + " to a " +
                                    metaObject()->className());
    }
    CopyFrom(static_cast<const TComSettingsGroup&>(*source));
    ApplyToPort();
}

TComParity::TComParity(TComPort* port, QObject* parent) : TComSettingsGroup(port, parent) {}

TComParity& TComParity::operator=(const TComParity& source) {
    Assign(&source);
    return *this;
}

void TComParity::CopyFrom(const TComSettingsGroup& source) {
    const auto& other = static_cast<const TComParity&>(source);
    bits_ = other.bits_;
    check_ = other.check_;
    replace_ = other.replace_;
    replaceChar_ = other.replaceChar_;
}

void TComParity::ApplyToPort() {
    if (Port() != nullptr) {
        Port()->ApplyLineSettings();
    }
}

TComFlowControl::TComFlowControl(TComPort* port, QObject* parent)
    : TComSettingsGroup(port, parent) {}

TComFlowControl& TComFlowControl::operator=(const TComFlowControl& source) {
    Assign(&source);
    return *this;
}

void TComFlowControl::CopyFrom(const TComSettingsGroup& source) {
    const auto& other = static_cast<const TComFlowControl&>(source);
    outCTSFlow_ = other.outCTSFlow_;
    outDSRFlow_ = other.outDSRFlow_;
    controlDTR_ = other.controlDTR_;
    controlRTS_ = other.controlRTS_;
    xonXoffOut_ = other.xonXoffOut_;
    xonXoffIn_ = other.xonXoffIn_;
    dsrSensitivity_ = other.dsrSensitivity_;
    txContinueOnXoff_ = other.txContinueOnXoff_;
    xonChar_ = other.xonChar_;
    xoffChar_ = other.xoffChar_;
}

void TComFlowControl::ApplyToPort() {
    if (Port() != nullptr) {
        Port()->ApplyLineSettings();
    }
}

TComTimeouts::TComTimeouts(TComPort* port, QObject* parent) : TComSettingsGroup(port, parent) {}

TComTimeouts& TComTimeouts::operator=(const TComTimeouts& source) {
    Assign(&source);
    return *this;
}

void TComTimeouts::CopyFrom(const TComSettingsGroup& source) {
    const auto& other = static_cast<const TComTimeouts&>(source);
    readInterval_ = other.readInterval_;
    readTotalMultiplier_ = other.readTotalMultiplier_;
    readTotalConstant_ = other.readTotalConstant_;
    writeTotalMultiplier_ = other.writeTotalMultiplier_;
    writeTotalConstant_ = other.writeTotalConstant_;
}

void TComTimeouts::ApplyToPort() {
    if (Port() != nullptr) {
        Port()->ApplyTimeouts();
    }
}

TComBuffer::TComBuffer(TComPort* port, QObject* parent) : TComSettingsGroup(port, parent) {}

TComBuffer& TComBuffer::operator=(const TComBuffer& source) {
    Assign(&source);
    return *this;
}

void TComBuffer::CopyFrom(const TComSettingsGroup& source) {
    const auto& other = static_cast<const TComBuffer&>(source);
    inputSize_ = other.inputSize_;
    outputSize_ = other.outputSize_;
}

void TComBuffer::ApplyToPort() {
    if (Port() != nullptr) {
        Port()->ApplyBufferSizes();
    }
}

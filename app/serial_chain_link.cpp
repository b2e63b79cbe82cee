#include "app/serial_chain_link.h"

#include "app/app_log.h"
#include "app/sync_command.h"
#include "serial/com_error.h"
#include "serial/com_port.h"

namespace {

// A failed write loses that frame only: a port whose device went away closes itself and is
// reopened by its owner.
void writeOrDrop(TComPort& port, const QByteArray& bytes) {
    try {
        port.WriteStr(bytes);
    } catch (const EComPort& e) {
        qCWarning(lcSync) << port.objectName() << "write failed:" << e.what();
    }
}

}  // namespace

SerialChainLink::SerialChainLink(TComPort& first, TComPort& second)
    : first_(first), second_(second) {
    first_.OnRxChar = [this](QObject*, int count) { ComPort1RxChar(count); };
    first_.OnClose = [this](QObject*) { ComPortClose(first_); };
    second_.OnClose = [this](QObject*) { ComPortClose(second_); };
    Reset();
}

SerialChainLink::~SerialChainLink() {
    first_.OnRxChar = nullptr;
    first_.OnClose = nullptr;
    second_.OnClose = nullptr;
}

void SerialChainLink::open() {
    Reset();
}

void SerialChainLink::close() {
    first_.Close();
    second_.Close();
    Reset();
}

bool SerialChainLink::isOpen() const {
    return first_.Connected() || second_.Connected();
}

void SerialChainLink::send(QByteArrayView command) {
    if (!head_ || !isOpen()) {
        return;
    }
    logSent(command);
    const QByteArray frame = frameCommand(command);
    if (first_.Connected()) {
        lamp(Lamp::Sent);
        writeOrDrop(first_, frame);
    }
    if (second_.Connected()) {
        lamp(Lamp::PassedOn);
        writeOrDrop(second_, frame);
    }
}

void SerialChainLink::ComPort1RxChar(int Count) {
    QByteArray text;
    try {
        first_.ReadStr(text, Count);
    } catch (const EComPort& e) {
        qCWarning(lcSync) << "reading" << first_.DeviceName() << "failed:" << e.what();
        return;
    }
    // Everything received goes on down the chain before this instance acts on it.
    if (second_.Connected()) {
        writeOrDrop(second_, text);
        lamp(Lamp::PassedOn);
    }
    bytesArrived(&first_, text);
    // The handler above may have closed the port, and with it this stream.
    if (!first_.Connected()) {
        return;
    }
    assembler_->Receive(text);
    run();
}

void SerialChainLink::ComPortClose(TComPort& port) {
    if (&port == &first_) {
        Reset();
    }
    if (onPortClosed) {
        onPortClosed(port);
    }
}

void SerialChainLink::Reset() {
    forget(&first_);
    assembler_ = std::make_unique<ReceiveAssembler>(
        [this](const QByteArray& command) { take(&first_, command); });
}

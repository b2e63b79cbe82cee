#pragma once

#include "app/receive_assembler.h"
#include "app/sync_link.h"

#include <memory>

class TComPort;

// The serial chain's end: commands come in on the first port, and every byte received there goes
// on unchanged to the second port (the next station) before this instance acts on it, whatever
// its role. The Master sends each command on the first port, then on the second. The ports are
// opened by the owner, who tells the operator what failed; bytes arriving on the second port are
// never read.
class SerialChainLink : public SyncLink {
public:
    SerialChainLink(TComPort& first, TComPort& second);
    ~SerialChainLink() override;

    // Starts the first port's stream afresh; the owner opens the ports.
    void open() override;
    void close() override;
    bool isOpen() const override;
    // Sends only at the chain's head (see setHead).
    void send(QByteArrayView command) override;

    // The Master is the chain's head and sends; a Slave only passes on.
    void setHead(bool head) { head_ = head; }

    // A port closed: by Close, or by itself when its device went away.
    std::function<void(TComPort& port)> onPortClosed;

    // Handlers of the ports' events, named as the main window had them.
    void ComPort1RxChar(int Count);
    void ComPortClose(TComPort& port);

private:
    void Reset();

    TComPort& first_;
    TComPort& second_;
    bool head_ = false;
    std::unique_ptr<ReceiveAssembler> assembler_;
};

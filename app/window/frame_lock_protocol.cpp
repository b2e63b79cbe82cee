// The Sync command protocol: sending on the active link, receiving from every link; the show's
// controller acts on what is received.
#include "app/window/frame_lock.h"

#include "app/show_controller.h"

#include "app/segment_math.h"
#include "app/status_frame.h"
#include "media/graph_player.h"
#include "net/simple_tcp_server.h"
#include "serial/com_error.h"
#include "serial/com_port.h"
#include "ui_fFrameLock.h"
#include "widgets/gui/splash_window.h"

#include "app/app_log.h"

#include <QTimer>
#include <algorithm>
#include <chrono>

namespace {

// A failed write loses that frame only: a port whose device went away closes itself and is
// reopened by the retry.
void writeOrDrop(TComPort& port, const QByteArray& bytes) {
    try {
        port.WriteStr(bytes);
    } catch (const EComPort& e) {
        qCWarning(lcSync) << port.objectName() << "write failed:" << e.what();
    }
}

}  // namespace

void TfFrameLock::SendCommand(const QByteArray& command) {
    if (Closing || !IsMaster()) {
        return;
    }
    const QByteArray frame = frameCommand(command);
    if (IsLan()) {
        if (Server->Listen()) {
            qCInfo(lcSync).noquote() << "sent" << command;
            FlashLed(ui->masterled);
            Server->SendToAll(frame.constData(), static_cast<qint32>(frame.size()));
        }
        return;
    }
    if (ComPort1->Connected() || ComPort2->Connected()) {
        qCInfo(lcSync).noquote() << "sent" << command;
    }
    if (ComPort1->Connected()) {
        FlashLed(ui->masterled);
        writeOrDrop(*ComPort1, frame);
    }
    if (ComPort2->Connected()) {
        FlashLed(ui->thruled);
        writeOrDrop(*ComPort2, frame);
    }
}

void TfFrameLock::ReceiveData(QByteArrayView chunk, ReceiveAssembler::Link link) {
    FlashLed(ui->slaveled);
    assembler_.Receive(link, chunk);
}

void TfFrameLock::ClientRead(QObject* Sender, const char* Buffer, qint32 BufLength) {
    // The whole chunk counts: a stray zero byte is noise like any other byte outside a frame and
    // must not hide the commands behind it.
    ReceiveData(QByteArrayView(Buffer, BufLength), Sender);
}

void TfFrameLock::ServerClientRead(QObject* Sender, TSimpleTCPClient* Client, const char* Buffer,
                                   qint32 Length) {
    Q_UNUSED(Sender);
    StatusReceived(Client, QByteArrayView(Buffer, Length));
    // Framed per connection: a remote control and the Slaves write at once.
    ReceiveData(QByteArrayView(Buffer, Length), Client);
}

void TfFrameLock::ComPort1RxChar(QObject* Sender, int Count) {
    Q_UNUSED(Sender);
    QByteArray text;
    try {
        ComPort1->ReadStr(text, Count);
    } catch (const EComPort& e) {
        qCWarning(lcSync) << "reading" << ComPort1->DeviceName() << "failed:" << e.what();
        return;
    }
    // Everything received goes on down the chain before this instance acts on it.
    if (ComPort2->Connected()) {
        writeOrDrop(*ComPort2, text);
        FlashLed(ui->thruled);
    }
    ReceiveData(text, ComPort1);
}

void TfFrameLock::DispatchCommand(const QByteArray& command) {
    show_->DispatchCommand(command);
}

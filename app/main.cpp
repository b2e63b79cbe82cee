#include "app/event_log.h"
#include "app/frame_lock.h"
#include "app/termination_signals.h"
#include "media/gst_media_service.h"
#include "net/descriptor_limit.h"
#include "widgets/product_info.h"
#include "widgets/qt_dialog_service.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(product::kTitle);
    // Beside the program, like its settings: each installed instance has a directory of its own.
    const EventLog eventLog(QCoreApplication::applicationDirPath());
    DescriptorLimit::raiseToHard();
    QtDialogService dialogs;
    FrameLockServices services;
    services.dialogs = &dialogs;
    services.makeMediaService = [] { return std::make_unique<GstMediaService>(); };
    services.programDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    TfFrameLock window(std::move(services));
    const TerminationSignals termination([&window] { window.close(); });
    window.show();
    return QApplication::exec();
}

#include "app/command_line.h"
#include "app/event_log.h"
#include "app/window/frame_lock.h"
#include "app/window/termination_signals.h"
#include "media/gst/gst_media_service.h"
#include "net/descriptor_limit.h"
#include "widgets/gui/qt_dialog_service.h"
#include "widgets/product_info.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    // Answered before QApplication, which ends the program when there is no display.
    const CommandLineRequest request = readCommandLine(argc, argv);
    if (!request.run) {
        std::fputs(request.text.c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(product::kTitle);
    // The window ends the run itself once it has closed: a full-screen video or a box may be
    // the last thing on screen, and neither must keep the program alive or end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Beside the program, like its settings: each installed instance has a directory of its own.
    const EventLog eventLog(QCoreApplication::applicationDirPath());
    DescriptorLimit::raiseToHard();
    QtDialogService dialogs;
    FrameLockServices services;
    services.dialogs = &dialogs;
    services.makeMediaService = [] { return std::make_unique<GstMediaService>(); };
    services.programDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    services.endProgram = [](int exitCode) { QCoreApplication::exit(exitCode); };
    TfFrameLock window(std::move(services));
    const TerminationSignals termination([&window] { window.Terminate(); });
    // Shown from within the event loop: a box up at start-up then runs inside it, and ending the
    // loop on a signal closes that box too instead of leaving a loop that was never entered.
    QTimer::singleShot(0, &window, [&window] { window.show(); });
    return QApplication::exec();
}

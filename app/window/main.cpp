#include "app/command_line.h"
#include "app/event_log.h"
#include "app/exit_codes.h"
#include "app/service_watchdog.h"
#include "app/window/display_check.h"
#include "app/window/frame_lock.h"
#include "app/window/termination_signals.h"
#include "media/gst/gst_media_service.h"
#include "net/descriptor_limit.h"
#include "storage/instance_lock.h"
#include "storage/stored_wording.h"
#include "widgets/gui/qt_dialog_service.h"
#include "widgets/product_info.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // Answered before QApplication, which ends the program when there is no display.
    const CommandLineRequest request = readCommandLine(argc, argv);
    if (!request.run) {
        std::fputs(request.text.c_str(), stdout);
        return 0;
    }
    // Without a display a service manager starts the program again later: a display that comes
    // late is waited for.
    if (const std::optional<std::string> missing = missingDisplay(argc, argv)) {
        std::fputs(missing->c_str(), stderr);
        return kExitNoDisplay;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(product::kTitle);
    QtDialogService dialogs;
    // Taken before the log or the settings are touched: a second copy leaves both alone.
    const InstanceLock instanceLock(QCoreApplication::applicationDirPath());
    if (!instanceLock.acquired()) {
        const char* const english =
            "frameLock PRO already runs from %1. Each instance needs a program directory of its "
            "own.";
        const QString dir = QCoreApplication::applicationDirPath();
        std::fprintf(stderr, "%s\n", QString::fromUtf8(english).arg(dir).toLocal8Bit().constData());
        // Nobody answers a box for a service manager.
        if (std::getenv("INVOCATION_ID") == nullptr) {
            dialogs.messageBox(storedOperatorWording(dir)("TxT_AlreadyRunning", english).arg(dir),
                               product::kTitle, MessageBoxFlags::Ok | MessageBoxFlags::IconError);
        }
        return kExitAlreadyRunning;
    }
    // The window ends the run itself once it has closed: a full-screen video or a box may be
    // the last thing on screen, and neither must keep the program alive or end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Beside the program, like its settings: each installed instance has a directory of its own.
    const EventLog eventLog(QCoreApplication::applicationDirPath());
    DescriptorLimit::raiseToHard();
    FrameLockServices services;
    services.dialogs = &dialogs;
    services.makeMediaService = [] { return std::make_unique<GstMediaService>(); };
    services.programDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    services.endProgram = [](int exitCode) { QCoreApplication::exit(exitCode); };
    TfFrameLock window(std::move(services));
    const TerminationSignals termination([&window] { window.Terminate(); });
    ServiceWatchdog watchdog({[&window] { return window.WatchdogPicture(); },
                              [&window] { return window.WatchdogState(); }});
    // Up once the event loop runs, before any box at start-up waits for an operator.
    QTimer::singleShot(0, &watchdog, [&watchdog] { watchdog.ready(); });
    // Shown from within the event loop: a box up at start-up then runs inside it, and ending the
    // loop on a signal closes that box too instead of leaving a loop that was never entered.
    QTimer::singleShot(0, &window, [&window] { window.show(); });
    return QApplication::exec();
}

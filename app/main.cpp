#include "tools/demo/demo_clip.h"
#include "tools/demo/demo_window.h"
#include "widgets/qt_dialog_service.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("frameLock PRO"));

    // No media file is configured yet: play the built-in demo.
    const QString clip = ensureDemoClip();
    if (clip.isEmpty()) {
        QtDialogService().messageBox(
            QStringLiteral("The demo clip could not be made. Run scripts/setup to install the "
                           "GStreamer plugins."),
            QStringLiteral("frameLock PRO"), MessageBoxFlags::IconError);
        return 1;
    }
    DemoWindow window(clip);
    window.show();
    return QApplication::exec();
}

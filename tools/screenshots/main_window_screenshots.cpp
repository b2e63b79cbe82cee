// The real main window as an operator sees it, with real GStreamer on a generated clip and a
// Master and a Slave joined over loopback: the Master during a show (its lamps lit, a segment
// selected), the Slave following it, both in English and in German, and the Master locked.
// Usage: main_window_screenshots <output directory>; run under an X server (take_screenshots.sh).
#include "app/window/frame_lock.h"
#include "media/gst/gst_media_service.h"
#include "net/simple_tcp_server.h"
#include "tools/clipgen/clip_generator.h"
#include "ui_fFrameLock.h"
#include "widgets/dialog_service.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>

namespace {

// Answers every box at once, so no modal window stands in front of a screenshot.
class SilentDialogs final : public DialogService {
public:
    int messageBox(const QString&, const QString&, int) override { return MessageBoxResult::Ok; }
    std::optional<QString> openFile(const OpenFileRequest&) override { return std::nullopt; }
    int showNotice(const QString&, const QString&, int) override { return 0; }
    void closeNotice(int) override {}
    bool shellOpen(const QString&, const std::function<void()>&) override { return true; }
    void beep(BeepKind) override {}
};

void waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs) {
        QTest::qWait(20);
    }
}

struct Instance {
    Instance(const QString& name, const QByteArray& settings, SilentDialogs& dialogs,
             const QString& root) {
        dir = root + QLatin1Char('/') + name + QLatin1Char('/');
        QDir().mkpath(dir);
        const QDir built(QCoreApplication::applicationDirPath());
        for (const QString& file :
             built.entryList({QStringLiteral("*.lng"), QStringLiteral("*.htm")})) {
            QFile::copy(built.filePath(file), dir + file);
        }
        QFile ini(dir + QStringLiteral("frameLock.ini"));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(settings);
        }
        FrameLockServices services;
        services.dialogs = &dialogs;
        services.programDir = dir;
        services.makeMediaService = [] { return std::make_unique<GstMediaService>(); };
        window = std::make_unique<TfFrameLock>(std::move(services));
    }
    QString dir;
    std::unique_ptr<TfFrameLock> window;
};

QByteArray settings(const QString& clip, quint16 port, bool master, bool german) {
    QStringList lines{
        QStringLiteral("[System]"),
        QStringLiteral("eFilename_Text=") + clip,
        QStringLiteral("ComportsNr_ktBoolean=False"),
        QStringLiteral("Server_Port=%1").arg(port),
        QStringLiteral("Client_Port=%1").arg(port),
        QStringLiteral("rbMaster_Checked=%1").arg(master ? "True" : "False"),
        QStringLiteral("rbSlave_Checked=%1").arg(master ? "False" : "True"),
        QStringLiteral("sbUSA_Down=%1").arg(german ? "False" : "True"),
        QStringLiteral("sbGerman_Down=%1").arg(german ? "True" : "False"),
        QStringLiteral("StartTimer_Interval=200"),
        QStringLiteral("eIn_Value=25"),
        QStringLiteral("[System.lbCut_Items]"),
        QStringLiteral("Count=3"),
        QStringLiteral("Item0=50"),
        QStringLiteral("Item1=100"),
        QStringLiteral("Item2=150"),
    };
    return lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
}

void save(QWidget& window, const QString& path) {
    if (window.grab().save(path)) {
        std::printf("%s\n", qPrintable(path));
    }
}

void screen(const QString& path) {
    if (QGuiApplication::primaryScreen()->grabWindow(0).save(path)) {
        std::printf("%s\n", qPrintable(path));
    }
}

void shoot(const QString& out, const QString& clip, const QString& root, bool german) {
    const QString suffix = german ? QStringLiteral("_de") : QStringLiteral("_en");
    SilentDialogs dialogs;
    const quint16 port = german ? 18235 : 18234;
    Instance master(QStringLiteral("master") + suffix, settings(clip, port, true, german), dialogs,
                    root);
    Instance slave(QStringLiteral("slave") + suffix, settings(clip, port, false, german), dialogs,
                   root);
    master.window->move(420, 40);
    slave.window->move(1180, 40);
    master.window->show();
    slave.window->show();
    waitUntil([&] { return master.window->Server->Clients().size() == 1; });
    master.window->form().bPlay->click();
    // Into the second segment: "DoNC1", then "Play" after the sync time.
    waitUntil([&] { return master.window->form().lbCut->currentRow() == 1; }, 8000);
    QTest::qWait(250);
    master.window->SendCommand("Rep1");
    master.window->FlashLed(master.window->form().syncLed);
    save(*master.window, out + QStringLiteral("/master_show") + suffix + QStringLiteral(".png"));
    save(*slave.window, out + QStringLiteral("/slave") + suffix + QStringLiteral(".png"));
    screen(out + QStringLiteral("/desktop") + suffix + QStringLiteral(".png"));
    if (!german) {
        master.window->form().cbLock->setChecked(true);
        save(*master.window, out + QStringLiteral("/master_locked_en.png"));
    }
    master.window->close();
    slave.window->close();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    QTemporaryDir root;
    const QString clip = root.filePath(QStringLiteral("clip.avi"));
    ClipSettings settings;
    settings.width = 320;
    settings.height = 240;
    settings.frames = 250;
    generateClip(settings, clip.toStdString());
    shoot(out, clip, root.path(), false);
    shoot(out, clip, root.path(), true);
    return 0;
}

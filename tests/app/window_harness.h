#pragma once

#include "app/window/frame_lock.h"
#include "net/loopback.h"
#include "support/recording_dialogs.h"
#include "ui_fFrameLock.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class FakeMediaService;

// One main window as the program builds it, in a program directory of its own (a temporary
// copy of the language files and help pages, and the settings file the test writes), with the
// recording dialogs and the media double. Its timers run at their stored intervals unless the
// test sets others.
class WindowHarness {
public:
    // Settings written to frameLock.ini before the window is made (empty: no file).
    // Without a media service of its own the window gets the media double.
    explicit WindowHarness(const QByteArray& settings = QByteArray(),
                           const QString& programDir = QString(),
                           std::function<std::unique_ptr<MediaService>()> media = {});
    ~WindowHarness();
    WindowHarness(const WindowHarness&) = delete;
    WindowHarness& operator=(const WindowHarness&) = delete;

    // Shows the window: the settings load, the language is applied, media and link open.
    void show();
    // Closes the window as the operator would and destroys it (the settings are written).
    void close();

    TfFrameLock& window() const { return *window_; }
    Ui::TfFrameLock& ui() const { return window_->form(); }
    // Only with the media double.
    FakeMediaService& media() const { return *media_; }
    QString programDir() const { return dir_; }
    QByteArray settingsFile() const;

    RecordingDialogs dialogs;
    // Every media call in order, as the double records it.
    std::shared_ptr<QStringList> mediaLog = std::make_shared<QStringList>();

private:
    QTemporaryDir ownDir_;
    QString dir_;
    FakeMediaService* media_ = nullptr;
    std::unique_ptr<TfFrameLock> window_;
};

// A Slave of another make on a Master's server: collects the commands the Master sends.
class WireTap {
public:
    explicit WireTap(quint16 port);
    ~WireTap();
    WireTap(const WireTap&) = delete;
    WireTap& operator=(const WireTap&) = delete;

    // Every command received so far, without the delimiters; runs the event loop until at least
    // `count` have come (or five seconds passed).
    QStringList commands(int count = 0);
    // The commands received since the last call of take().
    QStringList take(int count = 0);

private:
    struct Peer;
    std::unique_ptr<Peer> peer_;
    QByteArray bytes_;
    qsizetype taken_ = 0;
};

// What a Master of this version sends first on every connection.
QByteArray masterHello(const QString& showName = QString());

// A settings file's text: "[System]" and the given lines, joined with CR LF.
QByteArray systemSection(const QStringList& lines);

// The settings file of a window under test: its role, its link's port, its file, In point,
// Sync points and sync time, and any further lines (keys of "[System]", or a section's header
// and its keys). A key not written keeps the program's own value.
struct WindowSettings {
    bool master = true;
    // The Master's server port, or the port a Slave connects to; 0: the program's own.
    quint16 port = 0;
    // The box that waits for the Master's first word.
    bool splash = false;
    QString file = QStringLiteral("clip.avi");
    std::int32_t in = 0;
    QStringList syncPoints;
    // The sync time in ms; 0: the program's own.
    int syncTimeMs = 0;
    QStringList more;

    QByteArray text() const;
};

// A LAN Master window on a free port, shown, with a WireTap on its server. Without a media
// service of its own it gets the media double.
struct TappedMaster {
    explicit TappedMaster(WindowSettings settings = {},
                          std::function<std::unique_ptr<MediaService>()> media = {});

    quint16 port;
    WindowHarness h;
    std::unique_ptr<WireTap> tap;
};

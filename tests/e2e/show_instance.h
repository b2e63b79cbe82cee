#pragma once

#include "net/loopback.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Seconds on CLOCK_MONOTONIC, the clock of the event log's first column.
double monotonicNow();

// Runs the event loop until `done` holds or `seconds` passed; returns what `done` said last.
bool waitUntil(const std::function<bool()>& done, double seconds);

// Writes a frame-numbered MJPEG clip of `frames` frames at 25 frames a second, 320x240.
void makeClip(const QString& path, int frames);

// One line of an instance's event log.
struct LogLine {
    double monotonic = 0;
    QString category;
    QString message;
};

// What an instance's settings file holds for a show. Everything else keeps its default.
struct ShowSettings {
    bool master = true;
    bool lan = true;
    quint16 port = 0;
    QString clip;
    std::int32_t in = 0;
    QStringList syncPoints;
    bool loop = true;
    bool autoStart = false;
    bool fullScreen = false;
    int openTimerMs = 300;
    int syncTimeMs = 200;
    int retryMs = 500;
    // COM link: the ports chosen (0: none) and the devices behind "COM1" and "COM2".
    int com1 = 0;
    int com2 = 0;
    QString com1Path;
    QString com2Path;
    // The shared clock's UDP port (0: none); unset, the TCP port's number.
    std::optional<quint16> clockPort;
    int driftPpm = 0;
    // The show's name (none when empty).
    QString showName;
    // "[Window] TitleSuffix=", the instance's name; none when empty.
    QString titleSuffix;
};

QByteArray settingsFile(const ShowSettings& settings);

// The real program in a directory of its own (a copy of the built program with its language
// files and help pages, and a settings file), logging every framelock category. Its log is read
// from frameLock.log beside it.
class ShowInstance {
public:
    ShowInstance(QString name, const ShowSettings& settings);
    ~ShowInstance();
    ShowInstance(const ShowInstance&) = delete;
    ShowInstance& operator=(const ShowInstance&) = delete;

    void start();
    // Through `wrapper`, a command with its arguments that ends by running the program.
    void start(const QStringList& wrapper);
    void setEnvironment(const QString& name, const QString& value);
    // Starts it in a time namespace whose monotonic clock is `seconds` behind the machine's, as
    // on a machine booted that much later (root only). Its log's times are that far behind.
    void startWithClockBehind(int seconds);
    // SIGTERM, as a service manager ends it: the exit code, or -1 when it crashed or hung.
    int stop();
    // SIGKILL, as a power cut or a crash would end it; its settings are not written.
    void kill();
    void signal(int number);
    // The exit code once it has ended within `ms`, or -1 when it crashed or still runs.
    int waitForExit(int ms);
    bool running() const;
    // The program's process (the child of the namespace's launcher where there is one).
    qint64 pid() const;
    const QString& name() const { return name_; }
    std::int32_t inPoint() const { return settings_.in; }
    QString dir() const { return dir_.path(); }

    // Every line logged so far by every run of the instance, in order.
    std::vector<LogLine> log() const;
    // The first line after `after` whose message starts with `prefix`.
    std::optional<LogLine> find(const QString& prefix, double after = 0) const;
    std::optional<LogLine> waitFor(const QString& prefix, double after, double seconds) const;
    // The frame numbers of lines "<prefix> N" after `after`, relative to the In point, with
    // their times.
    std::vector<std::pair<double, std::int64_t>> frames(const QString& prefix,
                                                        double after = 0) const;
    // Everything the process wrote to stderr and stdout, for failure messages.
    QString output() const;

private:
    QString name_;
    ShowSettings settings_;
    QTemporaryDir dir_;
    QProcess process_;
    bool launched_ = false;
};

// The instance's log and output, and several instances' one after the other, for failure
// messages.
QString logOf(const ShowInstance& instance);
QString logsOf(const std::vector<const ShowInstance*>& instances);

// The X side of the desktop, through xdotool: the program's windows as the X server has them.
namespace desktop {

// The first visible window of process `pid` titled exactly `title`; 0 when there is none.
unsigned long findWindow(qint64 pid, const QString& title);
// The window's place and size as xdotool prints them.
QString geometry(unsigned long window);
bool isFullScreen(unsigned long window);
// Moves the window to (x, y) on the screen.
void move(unsigned long window, int x, int y);
// Focuses the window and types the key (an xdotool key name such as "F2").
void pressKey(unsigned long window, const QString& key);
void doubleClick(unsigned long window);

}  // namespace desktop

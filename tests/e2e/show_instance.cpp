#include "e2e/show_instance.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>
#include <ctime>
#include <stdexcept>

namespace {

QString runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0) {
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QByteArray boolText(bool value) {
    return value ? "True" : "False";
}

}  // namespace

double monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool waitUntil(const std::function<bool()>& done, double seconds) {
    const double deadline = monotonicNow() + seconds;
    while (!done()) {
        if (monotonicNow() > deadline) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

void makeClip(const QString& path, int frames) {
    QProcess clipgen;
    clipgen.start(QStringLiteral(FL_CLIPGEN),
                  {QStringLiteral("mjpeg-avi"), path, QStringLiteral("--size"),
                   QStringLiteral("320x240"), QStringLiteral("--frames"), QString::number(frames)});
    if (!clipgen.waitForFinished(60000) || clipgen.exitCode() != 0) {
        throw std::runtime_error("clipgen failed: " + clipgen.readAllStandardError().toStdString());
    }
}

QByteArray settingsFile(const ShowSettings& s) {
    QByteArray ini = "[System]\r\n";
    const auto add = [&ini](const char* key, const QByteArray& value) {
        ini += key;
        ini += '=';
        ini += value;
        ini += "\r\n";
    };
    add("ComportsNr_ktBoolean", "False");
    add("rbMaster_Checked", boolText(s.master));
    add("rbSlave_Checked", boolText(!s.master));
    add("rbLan_Checked", boolText(s.lan));
    add("rbCom_Checked", boolText(!s.lan));
    add("Server_Port", QByteArray::number(s.port));
    add("Client_Port", QByteArray::number(s.port));
    add("SharedClock_Port", QByteArray::number(s.clockPort.value_or(s.port)));
    add("SharedClock_DriftPpm", QByteArray::number(s.driftPpm));
    add("eSlaveIP_Text", "127.0.0.1");
    add("eFilename_Text", s.clip.toLocal8Bit());
    add("eIn_Value", QByteArray::number(s.in));
    add("cbRepeat_Checked", boolText(s.loop));
    add("cbAutoStart_Checked", boolText(s.autoStart));
    add("cbFullscreen_Checked", boolText(s.fullScreen));
    add("OpenTimer_Interval", QByteArray::number(s.openTimerMs));
    add("StartTimer_Interval", QByteArray::number(s.syncTimeMs));
    add("tbSync_Position", QByteArray::number(s.syncTimeMs));
    add("ClientStatusTimer_Interval", QByteArray::number(s.retryMs));
    add("ComportsNr_ktInteger1", QByteArray::number(s.com1));
    add("ComportsNr_ktInteger2", QByteArray::number(s.com2));
    if (!s.showName.isEmpty()) {
        add("ShowName", s.showName.toLatin1());
    }
    ini += "[System.lbCut_Items]\r\n";
    add("Count", QByteArray::number(s.syncPoints.size()));
    for (int i = 0; i < s.syncPoints.size(); ++i) {
        add(("Item" + QByteArray::number(i)).constData(), s.syncPoints[i].toLatin1());
    }
    if (!s.com1Path.isEmpty() || !s.com2Path.isEmpty()) {
        ini += "[Ports]\r\n";
        if (!s.com1Path.isEmpty()) {
            add("COM1", s.com1Path.toLocal8Bit());
        }
        if (!s.com2Path.isEmpty()) {
            add("COM2", s.com2Path.toLocal8Bit());
        }
    }
    if (!s.titleSuffix.isEmpty()) {
        ini += "[Window]\r\n";
        add("TitleSuffix", s.titleSuffix.toUtf8());
    }
    return ini;
}

ShowInstance::ShowInstance(QString name, const ShowSettings& settings)
    : name_(std::move(name)), settings_(settings) {
    const QFileInfo program(QStringLiteral(FL_PROGRAM));
    QStringList files{program.fileName()};
    files += program.dir().entryList({QStringLiteral("*.lng"), QStringLiteral("*.htm")});
    for (const QString& file : files) {
        QFile::copy(program.dir().filePath(file), dir_.filePath(file));
    }
    QFile ini(dir_.filePath(QStringLiteral("frameLock.ini")));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(settingsFile(settings)) < 0) {
        throw std::runtime_error("cannot write the settings of " + name_.toStdString());
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("framelock.*=true"));
    process_.setProcessEnvironment(environment);
    // Into a file, not a pipe: nobody has to keep reading while the test waits on xdotool.
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(dir_.filePath(QStringLiteral("output.txt")), QIODevice::Append);
    process_.setWorkingDirectory(dir_.path());
}

ShowInstance::~ShowInstance() {
    if (running()) {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

void ShowInstance::start() {
    launched_ = false;
    process_.start(dir_.filePath(QFileInfo(QStringLiteral(FL_PROGRAM)).fileName()), {});
    if (!process_.waitForStarted(10000)) {
        throw std::runtime_error("cannot start " + name_.toStdString());
    }
}

void ShowInstance::start(const QStringList& wrapper) {
    process_.start(wrapper.front(), wrapper.mid(1) << dir_.filePath(
                                        QFileInfo(QStringLiteral(FL_PROGRAM)).fileName()));
    if (!process_.waitForStarted(10000)) {
        throw std::runtime_error("cannot start " + name_.toStdString());
    }
}

void ShowInstance::setEnvironment(const QString& name, const QString& value) {
    QProcessEnvironment environment = process_.processEnvironment();
    environment.insert(name, value);
    process_.setProcessEnvironment(environment);
}

void ShowInstance::startWithClockBehind(int seconds) {
    launched_ = true;
    start({QStringLiteral("unshare"), QStringLiteral("--time"),
           QStringLiteral("--monotonic=-%1").arg(seconds), QStringLiteral("--fork"),
           QStringLiteral("--kill-child")});
    if (!waitUntil([this] { return pid() != 0; }, 10)) {
        throw std::runtime_error("cannot start " + name_.toStdString() + " behind");
    }
}

qint64 ShowInstance::pid() const {
    const qint64 own = process_.processId();
    if (!launched_ || own == 0) {
        return own;
    }
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(own));
    return children.open(QIODevice::ReadOnly)
               ? children.readAll().trimmed().split(' ')[0].toLongLong()
               : 0;
}

int ShowInstance::stop() {
    process_.terminate();
    if (!process_.waitForFinished(30000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void ShowInstance::kill() {
    ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
    process_.waitForFinished(10000);
}

void ShowInstance::signal(int number) {
    ::kill(static_cast<pid_t>(process_.processId()), number);
}

int ShowInstance::waitForExit(int ms) {
    if (running() && !process_.waitForFinished(ms)) {
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

bool ShowInstance::running() const {
    return process_.state() != QProcess::NotRunning;
}

QString ShowInstance::output() const {
    QFile file(dir_.filePath(QStringLiteral("output.txt")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

std::vector<LogLine> ShowInstance::log() const {
    std::vector<LogLine> lines;
    QFile file(dir_.filePath(QStringLiteral("frameLock.log")));
    if (!file.open(QIODevice::ReadOnly)) {
        return lines;
    }
    for (const QByteArray& raw : file.readAll().split('\n')) {
        // <monotonic> <wall clock> <category> <message>
        const QList<QByteArray> parts = raw.split(' ');
        if (parts.size() < 4) {
            continue;
        }
        LogLine line;
        line.monotonic = parts[0].toDouble();
        line.category = QString::fromLatin1(parts[2]);
        line.message =
            QString::fromUtf8(raw.mid(parts[0].size() + parts[1].size() + parts[2].size() + 3));
        lines.push_back(line);
    }
    return lines;
}

std::optional<LogLine> ShowInstance::find(const QString& prefix, double after) const {
    for (const LogLine& line : log()) {
        if (line.monotonic > after && line.message.startsWith(prefix)) {
            return line;
        }
    }
    return std::nullopt;
}

std::optional<LogLine> ShowInstance::waitFor(const QString& prefix, double after,
                                             double seconds) const {
    std::optional<LogLine> found;
    waitUntil([&] { return (found = find(prefix, after)).has_value(); }, seconds);
    return found;
}

std::vector<std::pair<double, std::int64_t>> ShowInstance::frames(const QString& prefix,
                                                                  double after) const {
    std::vector<std::pair<double, std::int64_t>> result;
    for (const LogLine& line : log()) {
        if (line.monotonic > after && line.category == QLatin1String("framelock.media") &&
            line.message.startsWith(prefix + QLatin1Char(' '))) {
            const std::int64_t frame = line.message.mid(prefix.size() + 1).toLongLong();
            result.emplace_back(line.monotonic, frame - settings_.in);
        }
    }
    return result;
}

QString logOf(const ShowInstance& instance) {
    QString text = QStringLiteral("---- ") + instance.name() + QStringLiteral(" ----\n");
    for (const LogLine& line : instance.log()) {
        text += QString::number(line.monotonic, 'f', 6) + QLatin1Char(' ') + line.category +
                QLatin1Char(' ') + line.message + QLatin1Char('\n');
    }
    return text + instance.output();
}

QString logsOf(const std::vector<const ShowInstance*>& instances) {
    QString text;
    for (const ShowInstance* instance : instances) {
        text += logOf(*instance);
    }
    return text;
}

namespace desktop {

unsigned long findWindow(qint64 pid, const QString& title) {
    const QString ids =
        runProgram(QStringLiteral("xdotool"),
                   {QStringLiteral("search"), QStringLiteral("--all"),
                    QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(pid),
                    QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
    return ids.isEmpty() ? 0 : ids.split(QLatin1Char('\n')).first().toULong();
}

QString geometry(unsigned long window) {
    return runProgram(
        QStringLiteral("xdotool"),
        {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::number(window)});
}

bool isFullScreen(unsigned long window) {
    const QString shape = geometry(window);
    return shape.contains(QStringLiteral("WIDTH=1920")) &&
           shape.contains(QStringLiteral("HEIGHT=1080"));
}

void move(unsigned long window, int x, int y) {
    runProgram(QStringLiteral("xdotool"),
               {QStringLiteral("windowmove"), QStringLiteral("--sync"), QString::number(window),
                QString::number(x), QString::number(y)});
}

void pressKey(unsigned long window, const QString& key) {
    runProgram(QStringLiteral("xdotool"),
               {QStringLiteral("windowraise"), QString::number(window),
                QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)});
    runProgram(QStringLiteral("xdotool"), {QStringLiteral("key"), key});
}

void doubleClick(unsigned long window) {
    runProgram(QStringLiteral("xdotool"),
               {QStringLiteral("windowraise"), QString::number(window), QStringLiteral("mousemove"),
                QStringLiteral("--window"), QString::number(window), QStringLiteral("200"),
                QStringLiteral("200"), QStringLiteral("click"), QStringLiteral("--repeat"),
                QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("80"),
                QStringLiteral("1")});
}

}  // namespace desktop

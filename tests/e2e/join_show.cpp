#include "e2e/join_show.h"

#include "e2e/screen_frames.h"
#include "net/loopback.h"

JoinShow::JoinShow(const QString& clip, const QStringList& syncPoints, int syncTimeMs) {
    ShowSettings m;
    m.clip = clip;
    m.port = freePort();
    m.syncPoints = syncPoints;
    m.autoStart = true;
    m.openTimerMs = 4000;
    m.syncTimeMs = syncTimeMs;
    link = std::make_unique<HeldLink>(m.port);
    ShowSettings s = m;
    s.master = false;
    s.autoStart = false;
    s.port = link->port();
    s.clockPort = m.port;
    master = std::make_unique<ShowInstance>(QStringLiteral("Master"), m);
    slave = std::make_unique<ShowInstance>(QStringLiteral("Slave"), s);
    slave->start();
    master->start();
    windows = {placeVideo(*master, 0, 0), placeVideo(*slave, 340, 0)};
}

std::optional<LogLine> JoinShow::ready() const {
    for (const QRect& window : windows) {
        if (window.isEmpty()) {
            return std::nullopt;
        }
    }
    if (!slave->waitFor(QStringLiteral("shared clock settled"), 0, 30)) {
        return std::nullopt;
    }
    return master->waitFor(QStringLiteral("started frame 0"), 0, 30);
}

std::string JoinShow::logs() const {
    return logsOf({master.get(), slave.get()}).toStdString();
}

std::vector<std::int64_t> JoinShow::lags(int samples) const {
    return lagSamples(windows, {{0, 1}}, samples)[0];
}

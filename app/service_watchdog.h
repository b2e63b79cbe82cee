#pragma once

#include "app/watchdog_picture.h"
#include "app/watchdog_status_line.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class QTimer;

// Tells the service manager (systemd, through $NOTIFY_SOCKET) that the program is up, that it
// is alive, and what it does. The keep-alive ping comes from a timer of the event loop, so a
// frozen or hung process stops sending it, and it is held back while the picture should move
// but does not; the service manager then kills the instance and starts it again. Without a
// service manager that listens, nothing is sent and nothing runs.
class ServiceWatchdog : public QObject {
    Q_OBJECT

public:
    // A picture that should move may stand still this long (a slow decoder, a seek).
    static constexpr std::int64_t StallMs = 4000;

    struct Probes {
        std::function<PictureWatch::Sample()> picture;
        std::function<InstanceState()> state;
    };

    explicit ServiceWatchdog(Probes probes, QObject* parent = nullptr);

    // The program is up: from now on the manager hears from it.
    void ready();

private:
    void tick();
    void sendStatus();

    Probes probes_;
    QTimer* timer_;
    PictureWatch picture_{StallMs};
    QElapsedTimer clock_;
    bool listening_ = false;
    bool pinging_ = false;
    bool withholding_ = false;
    QString status_;
};

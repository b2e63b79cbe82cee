#include "app/window/status_desk.h"

#include <QTimer>

StatusDesk::StatusDesk(QObject* parent, const QString& reportPath)
    : QObject(parent),
      report(reportPath),
      poll(new QTimer(this)),
      refresh(new QTimer(this)),
      sample(new QTimer(this)),
      flushLog(new QTimer(this)) {
    poll->setInterval(PollMs);
    refresh->setSingleShot(true);
    refresh->setInterval(RefreshMs);
    sample->setSingleShot(true);
    sample->setInterval(SampleMs);
    flushLog->setSingleShot(true);
}

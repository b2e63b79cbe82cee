#include "app/window/status_desk.h"

#include <QTimer>

StatusDesk::StatusDesk(QObject* parent, const QString& reportPath)
    : QObject(parent),
      report(reportPath),
      poll(new QTimer(this)),
      sample(new QTimer(this)),
      refresh(new QTimer(this)),
      flushLog(new QTimer(this)) {
    poll->setInterval(PollMs);
    sample->setSingleShot(true);
    sample->setInterval(SampleMs);
    // Reports of many Slaves come in many turns of the event loop; the lines are redrawn at most
    // once per RefreshMs for all of them.
    refresh->setSingleShot(true);
    refresh->setInterval(RefreshMs);
    flushLog->setSingleShot(true);
}

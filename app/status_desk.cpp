#include "app/status_desk.h"

#include <QTimer>

StatusDesk::StatusDesk(QObject* parent, const QString& reportPath)
    : QObject(parent),
      report(reportPath),
      poll(new QTimer(this)),
      sample(new QTimer(this)),
      refresh(new QTimer(this)) {
    poll->setInterval(PollMs);
    sample->setSingleShot(true);
    sample->setInterval(SampleMs);
    // Many reports in one turn of the event loop redraw the lines once.
    refresh->setSingleShot(true);
    refresh->setInterval(0);
}

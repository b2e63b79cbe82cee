#include "app/window/slave_status_desk.h"

#include <QTimer>

SlaveStatusDesk::SlaveStatusDesk(QObject* parent)
    : QObject(parent), poll(new QTimer(this)), sample(new QTimer(this)) {
    poll->setInterval(PollMs);
    sample->setSingleShot(true);
    sample->setInterval(SampleMs);
}

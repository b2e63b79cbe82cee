#include "storage/timer_interval.h"

#include <QEvent>
#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <limits>

namespace {

// A child of the timer that filters its ticks; one per timer.
class IdleAtZeroInterval : public QObject {
public:
    explicit IdleAtZeroInterval(QTimer& timer) : QObject(&timer), timer_(timer) {
        setObjectName(QStringLiteral("IdleAtZeroInterval"));
        timer.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &timer_ || event->type() != QEvent::Timer || timer_.interval() > 0 ||
            static_cast<QTimerEvent*>(event)->timerId() != timer_.timerId()) {
            return false;
        }
        timer_.stop();
        return true;
    }

private:
    QTimer& timer_;
};

}  // namespace

void setTimerInterval(QTimer& timer, qint64 milliseconds) {
    const int interval = int(std::clamp<qint64>(milliseconds, 0, std::numeric_limits<int>::max()));
    if (interval == 0 && !timer.findChild<QObject*>(QStringLiteral("IdleAtZeroInterval"),
                                                    Qt::FindDirectChildrenOnly)) {
        new IdleAtZeroInterval(timer);
    }
    if (timer.interval() != interval) {
        timer.setInterval(interval);
    }
    if (interval == 0) {
        timer.stop();
    }
}

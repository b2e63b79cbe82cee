#include "app/watchdog_picture.h"

bool PictureWatch::healthy(std::int64_t nowMs, const Sample& sample) {
    if (!sample.shouldAdvance || !sample.shown) {
        watching_ = false;
        return true;
    }
    if (!watching_ || sample.shown != last_) {
        watching_ = true;
        last_ = sample.shown;
        since_ = nowMs;
        return true;
    }
    return nowMs - since_ < stallMs_;
}

QString PictureWatch::reason() const {
    return QStringLiteral("the picture has not changed for %1 ms while playing").arg(stallMs_);
}

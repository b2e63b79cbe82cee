// The graph's event queue: what the bus handler reports, taken by the player on the UI thread.
#include "media/gst/gst_graph.h"

#include "media/media_log.h"

#include <QCoreApplication>
#include <utility>

void GstGraph::queueEvent(long code, std::intptr_t range) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(MediaEventRecord{code, range, 0});
        changed_.notify_all();
    }
    // Hop to the UI thread; a notification still pending when the graph goes is dropped with
    // notifier_.
    QMetaObject::invokeMethod(
        &notifier_,
        [this] {
            if (notifyWindow_ != nullptr) {
                QCoreApplication::postEvent(notifyWindow_, new QEvent(notifyMessage_));
            }
        },
        Qt::QueuedConnection);
}

void GstGraph::setNotifyWindow(QObject* window, QEvent::Type message) {
    notifyWindow_ = window;
    notifyMessage_ = message;
}

bool GstGraph::takeEvent(MediaEventRecord& event, int timeoutMs) {
    while (true) {
        {
            std::unique_lock lock(mutex_);
            if (timeoutMs > 0) {
                changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return !events_.empty(); });
            }
            if (events_.empty()) {
                return false;
            }
            event = events_.front();
            events_.pop_front();
            if (event.code != EC_COMPLETE ||
                static_cast<std::uint64_t>(event.param1) == currentRange_) {
                break;
            }
        }
        // The end of a range the controller has moved on from: taken for the current one it
        // would end a segment that has not played.
        qCInfo(lcMedia).noquote() << "dropped the end of an earlier range of" << fileName_;
    }
    if (event.code == EC_COMPLETE && endedEarly()) {
        event.code = EC_ERRORABORT;
    }
    event.param1 = 0;
    return true;
}

bool GstGraph::endedEarly() {
    // A file overwritten or cut short while it plays ends its ranges at once, far before their
    // frames: played on, the show would send a cue every sync time and show snippets.
    constexpr std::int64_t Margin = GST_SECOND;
    const std::int64_t endNs = seekRange_.stopNs >= 0 ? seekRange_.stopNs : durationNs_;
    gint64 position = 0;
    if (endNs < 0 || front_ == nullptr ||
        !gst_element_query_position(front_->element(), GST_FORMAT_TIME, &position) ||
        position + Margin >= endNs) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(failed_, true)) {
            return false;
        }
    }
    qCWarning(lcMedia).noquote() << "a range of" << fileName_ << "ended at"
                                 << position / GST_MSECOND << "ms, before its end at"
                                 << endNs / GST_MSECOND << "ms: the file changed while it played";
    return true;
}

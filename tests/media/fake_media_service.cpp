#include "fake_media_service.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <algorithm>

QString FakeMediaService::nameOf(MediaRef ref) {
    switch (ref) {
        case MediaRef::GraphBuilder:
            return QStringLiteral("GraphBuilder");
        case MediaRef::MediaControl:
            return QStringLiteral("MediaControl");
        case MediaRef::MediaEvent:
            return QStringLiteral("MediaEvent");
        case MediaRef::VideoWindow:
            return QStringLiteral("VideoWindow");
        case MediaRef::MediaSeeking:
            return QStringLiteral("MediaSeeking");
    }
    return {};
}

QString FakeMediaService::nameOf(WindowHandle window) {
    return window ? window->objectName() : QStringLiteral("none");
}

void FakeMediaService::queueEvent(long code, std::intptr_t param1, std::intptr_t param2) {
    events_.push_back({code, param1, param2});
    if (notifyWindow_) {
        QCoreApplication::postEvent(notifyWindow_, new QEvent(GraphNotifyEvent));
    }
}

bool FakeMediaService::holdsAll() const {
    return std::all_of(held_.begin(), held_.end(), [](bool held) { return held; });
}

bool FakeMediaService::holdsNone() const {
    return std::none_of(held_.begin(), held_.end(), [](bool held) { return held; });
}

bool FakeMediaService::createGraph() {
    record(QStringLiteral("createGraph"));
    EXPECT_FALSE(holds(MediaRef::GraphBuilder)) << "graph builder overwritten while held";
    held_[static_cast<std::size_t>(MediaRef::GraphBuilder)] = config.createGraph;
    return config.createGraph;
}

void FakeMediaService::query(MediaRef ref) {
    record(QStringLiteral("query ") + nameOf(ref));
    EXPECT_FALSE(holds(ref)) << nameOf(ref).toStdString() << " overwritten while held";
    EXPECT_TRUE(holds(MediaRef::GraphBuilder)) << "query without a graph";
    held_[static_cast<std::size_t>(ref)] = true;
}

void FakeMediaService::release(MediaRef ref) {
    record(QStringLiteral("release ") + nameOf(ref));
    EXPECT_TRUE(holds(ref)) << nameOf(ref).toStdString() << " released while not held";
    held_[static_cast<std::size_t>(ref)] = false;
}

bool FakeMediaService::renderFile(const QString& name) {
    record(QStringLiteral("renderFile ") + name);
    const bool playable = config.render && !config.unplayable.contains(name);
    if (playable) {
        state.file = name;
    }
    return playable;
}

bool FakeMediaService::putCaption(const QString& caption) {
    record(QStringLiteral("putCaption ") + caption);
    state.caption = caption;
    return config.caption;
}

int FakeMediaService::width() {
    record(QStringLiteral("width"));
    return config.width;
}

void FakeMediaService::putLeft(int left) {
    record(QStringLiteral("putLeft %1").arg(left));
    state.left = left;
}

void FakeMediaService::putTop(int top) {
    record(QStringLiteral("putTop %1").arg(top));
    state.top = top;
}

WindowHandle FakeMediaService::messageDrain() {
    record(QStringLiteral("messageDrain"));
    return config.drain;
}

void FakeMediaService::putMessageDrain(WindowHandle drain) {
    record(QStringLiteral("putMessageDrain ") + nameOf(drain));
}

void FakeMediaService::putFullScreenMode(bool on) {
    record(QStringLiteral("putFullScreenMode %1").arg(on ? -1 : 0));
}

void FakeMediaService::setNotifyWindow(WindowHandle window, QEvent::Type message,
                                       std::intptr_t instanceData) {
    record(QStringLiteral("setNotifyWindow %1 %2 %3")
               .arg(nameOf(window))
               .arg(static_cast<int>(message) - QEvent::User + 0x0400, 0, 16)
               .arg(instanceData));
    notifyWindow_ = window;
}

bool FakeMediaService::getEvent(MediaEventRecord& event, int timeoutMs) {
    EXPECT_EQ(timeoutMs, 0) << "the user-interface thread must never wait for events";
    EXPECT_TRUE(holds(MediaRef::MediaEvent)) << "getEvent without the event reference";
    if (events_.empty()) {
        record(QStringLiteral("getEvent none"));
        return false;
    }
    event = events_.front();
    events_.pop_front();
    record(QStringLiteral("getEvent %1").arg(event.code));
    ++state.unfreedEvents;
    return true;
}

void FakeMediaService::freeEventParams(const MediaEventRecord& event) {
    record(QStringLiteral("freeEventParams %1").arg(event.code));
    --state.unfreedEvents;
}

bool FakeMediaService::setTimeFormatFrame() {
    record(QStringLiteral("setTimeFormatFrame"));
    return config.frameFormat;
}

bool FakeMediaService::duration(std::int64_t& duration) {
    record(QStringLiteral("duration"));
    if (config.durationOk) {
        duration = config.duration;
    }
    return config.durationOk;
}

std::int64_t FakeMediaService::currentPosition() {
    record(QStringLiteral("currentPosition"));
    return config.position;
}

void FakeMediaService::setPositions(std::int64_t current, std::int64_t stop) {
    record(QStringLiteral("setPositions %1 %2").arg(current).arg(stop));
    state.start = current;
    state.stop = stop;
}

void FakeMediaService::setNextRange(std::int64_t current, std::int64_t stop) {
    record(QStringLiteral("setNextRange %1 %2").arg(current).arg(stop));
}

void FakeMediaService::clearNextRange() {
    record(QStringLiteral("clearNextRange"));
}

void FakeMediaService::run() {
    record(QStringLiteral("run"));
    state.transport = Transport::Running;
}

void FakeMediaService::pause() {
    record(QStringLiteral("pause"));
    state.transport = Transport::Paused;
}

void FakeMediaService::stop() {
    record(QStringLiteral("stop"));
    state.transport = Transport::Stopped;
}

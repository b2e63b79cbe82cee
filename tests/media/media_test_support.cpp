#include "media_test_support.h"

#include "tools/clipgen/frame_code.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <stdexcept>

namespace {

QTemporaryDir& clipDir() {
    static QTemporaryDir dir;
    return dir;
}

QString settingsKey(const ClipSettings& s) {
    return QStringLiteral("%1-%2x%3-%4_%5-%6%7-b%8")
        .arg(QString::fromStdString(formatName(s.format)))
        .arg(s.width)
        .arg(s.height)
        .arg(s.fpsNumerator)
        .arg(s.fpsDenominator)
        .arg(s.frames)
        .arg(s.withAudio ? QStringLiteral("-audio") : QString())
        .arg(s.bFrames);
}

}  // namespace

QString tempPath(const QString& name) {
    return clipDir().filePath(name);
}

QString clipPath(const ClipSettings& clip) {
    static QMap<QString, QString> made;
    const QString key = settingsKey(clip);
    if (!made.contains(key)) {
        const QString path = tempPath(key + QString::fromStdString(formatExtension(clip.format)));
        generateClip(clip, path.toStdString());
        made.insert(key, path);
    }
    return made.value(key);
}

GstElement* FrameProbe::makeSink() {
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(
        "videoconvert ! video/x-raw,format=GRAY8 ! appsink name=probe sync=true", TRUE, &error);
    if (error != nullptr) {
        throw std::runtime_error(error->message);
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), "probe");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = [](GstAppSink* s, gpointer self) {
        return onPreroll(GST_ELEMENT(s), self);
    };
    callbacks.new_sample = [](GstAppSink* s, gpointer self) {
        return onSample(GST_ELEMENT(s), self);
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    gst_object_unref(sink);
    return bin;
}

std::int64_t FrameProbe::readSample(GstSample* sample) {
    GstVideoInfo info;
    std::int64_t frame = -1;
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) {
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            frame =
                readFrameCode(map.data, GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                              GST_VIDEO_INFO_PLANE_STRIDE(&info, 0))
                    .value_or(-1);
            gst_buffer_unmap(buffer, &map);
        }
    }
    gst_sample_unref(sample);
    return frame;
}

GstFlowReturn FrameProbe::onPreroll(GstElement* sink, gpointer self) {
    auto* probe = static_cast<FrameProbe*>(self);
    const std::int64_t frame = readSample(gst_app_sink_pull_preroll(GST_APP_SINK(sink)));
    std::lock_guard lock(probe->mutex_);
    ++probe->prerolls_;
    probe->lastPreroll_ = frame;
    return GST_FLOW_OK;
}

GstFlowReturn FrameProbe::onSample(GstElement* sink, gpointer self) {
    auto* probe = static_cast<FrameProbe*>(self);
    const std::int64_t frame = readSample(gst_app_sink_pull_sample(GST_APP_SINK(sink)));
    std::lock_guard lock(probe->mutex_);
    if (probe->failFrom_ && frame >= *probe->failFrom_) {
        probe->failFrom_.reset();
        return GST_FLOW_ERROR;
    }
    probe->played_.push_back(frame);
    return GST_FLOW_OK;
}

void FrameProbe::failOnceFrom(std::int64_t frame) {
    std::lock_guard lock(mutex_);
    failFrom_ = frame;
}

int FrameProbe::prerollCount() const {
    std::lock_guard lock(mutex_);
    return prerolls_;
}

std::optional<std::int64_t> FrameProbe::lastPreroll() const {
    std::lock_guard lock(mutex_);
    return lastPreroll_;
}

std::vector<std::int64_t> FrameProbe::played() const {
    std::lock_guard lock(mutex_);
    return played_;
}

void FrameProbe::clearPlayed() {
    std::lock_guard lock(mutex_);
    played_.clear();
}

bool openGraph(MediaService& service, const QString& file) {
    if (!service.createGraph()) {
        return false;
    }
    for (MediaRef ref : {MediaRef::MediaControl, MediaRef::MediaEvent, MediaRef::VideoWindow,
                         MediaRef::MediaSeeking}) {
        service.query(ref);
    }
    return service.renderFile(file);
}

GstGraphOptions probeOptions(FrameProbe& probe) {
    GstGraphOptions options;
    options.videoSink = [&probe] { return probe.makeSink(); };
    options.audioSink = [] {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    };
    options.prerollTimeout = std::chrono::seconds(15);
    return options;
}

bool NotifyRecorder::event(QEvent* event) {
    if (event->type() == GraphNotifyEvent) {
        ++notifications;
        return true;
    }
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonDblClick:
            inputs.push_back(event->type());
            return true;
        default:
            return QObject::event(event);
    }
}

std::vector<long> drainEvents(MediaService& service) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    std::vector<long> codes;
    MediaEventRecord record;
    while (service.getEvent(record, 0)) {
        codes.push_back(record.code);
        service.freeEventParams(record);
    }
    return codes;
}

bool waitForEvent(MediaService& service, NotifyRecorder& target, long code, int timeoutMs) {
    int seen = target.notifications;
    return QTest::qWaitFor(
        [&] {
            if (target.notifications == seen) {
                return false;
            }
            seen = target.notifications;
            MediaEventRecord record;
            while (service.getEvent(record, 0)) {
                if (record.code == code) {
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

std::optional<std::int64_t> frameInWindow(QWidget* window) {
    QScreen* screen = window->screen();
    const QImage image =
        screen->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_Grayscale8);
    if (image.isNull()) {
        return std::nullopt;
    }
    return readFrameCode(image.constBits(), image.width(), image.height(),
                         static_cast<int>(image.bytesPerLine()));
}

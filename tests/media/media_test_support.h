#pragma once

#include "media/gst/gst_graph.h"
#include "media/media_service.h"
#include "tools/clipgen/clip_generator.h"

#include <gst/gst.h>

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

// Generated clips, made once per test run into a temporary directory and reused by every test
// that asks for the same clip.
QString clipPath(const ClipSettings& clip);
QString tempPath(const QString& name);

// A video sink that reads the frame number of every picture it prerolls or renders. Thread
// safe: appsink calls back on a streaming thread.
class FrameProbe {
public:
    // A new sink bin (floating) reporting to this probe; the probe must outlive its pipelines.
    GstElement* makeSink();

    int prerollCount() const;
    std::optional<std::int64_t> lastPreroll() const;
    // Frame numbers of every rendered (played) picture, unreadable ones as -1.
    std::vector<std::int64_t> played() const;
    void clearPlayed();
    // The first picture played with this frame number or a later one is refused with a flow
    // error, as a sink that goes away refuses it; later pictures play again.
    void failOnceFrom(std::int64_t frame);

private:
    static GstFlowReturn onPreroll(GstElement* sink, gpointer self);
    static GstFlowReturn onSample(GstElement* sink, gpointer self);
    static std::int64_t readSample(GstSample* sample);

    mutable std::mutex mutex_;
    int prerolls_ = 0;
    std::optional<std::int64_t> lastPreroll_;
    std::vector<std::int64_t> played_;
    std::optional<std::int64_t> failFrom_;
};

// Opens a file the way the player does: graph, references, render.
bool openGraph(MediaService& service, const QString& file);

// Graph options for tests: the probe as video sink, a clocked fakesink for sound (the
// machines have no sound card), and a short preroll time-out.
GstGraphOptions probeOptions(FrameProbe& probe);

// Counts the notifications it receives and records forwarded input events.
class NotifyRecorder : public QObject {
public:
    int notifications = 0;
    std::vector<QEvent::Type> inputs;

protected:
    bool event(QEvent* event) override;
};

// Waits, while running the event loop, until every event of `service` arrived that was queued
// so far, and returns the codes of those taken with a time-out of 0.
std::vector<long> drainEvents(MediaService& service);

// Runs the event loop and, like the player, takes the service's events whenever a
// notification reaches `target`; true once `code` was among them, false after `timeoutMs`.
bool waitForEvent(MediaService& service, NotifyRecorder& target, long code, int timeoutMs);

// Reads the frame number shown in a native window by grabbing it from the X server.
std::optional<std::int64_t> frameInWindow(QWidget* window);

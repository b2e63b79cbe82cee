#pragma once

#include "media/graph_player.h"
#include "media/gst/gst_media_service.h"
#include "media_test_support.h"
#include "support/recording_dialogs.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

// The descriptors and threads of this process when made, to be given back after cycles of
// opening and closing.
struct ProcessBaseline {
    ProcessBaseline();
    // Waits up to five seconds for every descriptor back and no more threads than then.
    void expectGivenBack() const;

    int descriptors;
    int threads;
};

// Stands in for the main window: shown, notified, and handing the notification to the player.
class OwnerWindow : public QWidget {
public:
    TGraphPlayer* player = nullptr;
    int completions = 0;
    // The controller's answer to a completion, if any.
    std::function<void()> onCompletion;
    std::vector<int> keys;
    int doubleClicks = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
};

// The player on the real GStreamer service with a shown owner window at (700, 50), as the
// program has one.
class GraphPlayerOnGstreamer : public testing::Test {
protected:
    GraphPlayerOnGstreamer();

    VideoWindow* videoWindow() const;

    FrameProbe probe;
    GstMediaService* service = nullptr;
    RecordingDialogs dialogs;
    OwnerWindow owner;
    std::unique_ptr<TGraphPlayer> player;
};

ClipSettings clip(ClipFormat format, std::int64_t frames, int fpsN = 25, int fpsD = 1);

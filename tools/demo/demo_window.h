#pragma once

#include "media/graph_player.h"
#include "widgets/qt_dialog_service.h"

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;

// Shows what one instance does with a file: plays it segment by segment, holds the first frame
// of every segment for the sync time, then starts again, and loops after the last Sync point.
// It owns the media player the way the main window does.
class DemoWindow final : public QWidget {
    Q_OBJECT
public:
    explicit DemoWindow(const QString& fileName);
    ~DemoWindow() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void rewindLocal();
    void segmentComplete();
    void cueSegment(std::size_t segment);
    void start();
    void stop();
    void updateStatus();
    void shutDown();
    std::int64_t segmentStart(std::size_t segment) const;

    QString fileName_;
    QtDialogService dialogs_;
    QLabel* status_;
    QPushButton* startButton_;
    QPushButton* stopButton_;
    QPushButton* fullScreenButton_;
    QTimer statusTimer_;
    QTimer syncTimer_;
    // Offsets from the In point (frame 0); the last one is the Out point.
    std::vector<std::int64_t> syncPoints_{125, 250, 375, 500};
    std::size_t segment_ = 0;
    bool running_ = false;
    std::unique_ptr<TGraphPlayer> player_;
};

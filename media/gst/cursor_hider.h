#pragma once

#include <QObject>
#include <QPointF>
#include <QTimer>
#include <chrono>
#include <optional>

class QWidget;

// Hides the mouse cursor over one window once it has rested there for the idle time, and shows
// it again at the next movement. Only that window's own cursor changes, so the cursor over any
// other window is never hidden. Watches the window's input as its event filter; the window
// must outlive the hider. UI thread only.
class CursorHider final : public QObject {
public:
    CursorHider(QWidget* window, std::chrono::milliseconds idle);

    // While enabled the cursor hides after the idle time without movement; disabling shows it.
    void setEnabled(bool on);
    bool cursorHidden() const { return hidden_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCursor();
    void hideCursor();

    QWidget* const window_;
    QTimer idle_;
    bool enabled_ = false;
    bool hidden_ = false;
    // Where the pointer was last seen; X and Qt also report the pointer where it rests (the
    // window moving under it, crossing events), which is no movement.
    std::optional<QPointF> lastPosition_;
};

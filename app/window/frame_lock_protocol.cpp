// The Sync command protocol: sending on the active link; the show's controller acts on what is
// received.
#include "app/window/frame_lock.h"

#include "app/show_controller.h"

#include "app/segment_math.h"
#include "app/status_frame.h"
#include "app/sync_link.h"
#include "media/graph_player.h"
#include "ui_fFrameLock.h"
#include "widgets/gui/splash_window.h"

#include "app/app_log.h"

#include <QTimer>
#include <algorithm>
#include <chrono>

void TfFrameLock::SendCommand(const QByteArray& command) {
    if (!Closing && link_ != nullptr) {
        link_->send(command);
    }
}

void TfFrameLock::DispatchCommand(const QByteArray& command) {
    show_->DispatchCommand(command);
}

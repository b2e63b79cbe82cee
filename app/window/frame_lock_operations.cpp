// The operator's operations by name, for the keys and the remote surfaces alike. Each runs the
// window's own handler, so a remote Start is the operator's Start.
#include "app/window/frame_lock.h"

#include "app/segment_math.h"
#include "ui_fFrameLock.h"

void TfFrameLock::RegisterOperations() {
    const auto onMaster = [this] { return IsMaster(); };
    operators_.add({QStringLiteral("start"), OperatorArgument::None, onMaster,
                    [this](std::int64_t) { bPlayClick(); }});
    operators_.add({QStringLiteral("stop"), OperatorArgument::None, onMaster,
                    [this](std::int64_t) { bStopClick(); }});
    operators_.add({QStringLiteral("rewind"), OperatorArgument::None, onMaster,
                    [this](std::int64_t) { bRewindClick(); }});
    operators_.add({QStringLiteral("cue"), OperatorArgument::Segment,
                    [this] { return IsMaster() && ui->lbCut->count() > 0; },
                    [this](std::int64_t segment) {
                        if (segment <= ui->lbCut->count()) {
                            ui->lbCut->setCurrentRow(static_cast<int>(segment - 1));
                            bGoClick();
                        }
                    }});
    operators_.add({QStringLiteral("goto"), OperatorArgument::Frame, onMaster,
                    [this](std::int64_t frame) { GoToFrame(addFrames(frame, InPoint())); }});
    operators_.add({QStringLiteral("fullscreen"), OperatorArgument::OnOff, onMaster,
                    [this](std::int64_t on) { ui->cbFullscreen->setChecked(on != 0); }});
    operators_.add({QStringLiteral("loop"), OperatorArgument::OnOff, onMaster,
                    [this](std::int64_t on) { ui->cbRepeat->setChecked(on != 0); }});
}

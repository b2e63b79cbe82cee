#include "app/window/frame_lock.h"

#include "app/show_controller.h"
#include "app/slave_show_reporter.h"
#include "media/graph_player.h"
#include "net/simple_tcp_server.h"
#include "storage/kt_language.h"
#include "storage/settings_access.h"
#include "storage/storage_log.h"
#include "ui_fFrameLock.h"

#include <pwd.h>
#include <unistd.h>
#include <QDir>

PictureWatch::Sample TfFrameLock::WatchdogPicture() const {
    return {player_->PictureShouldMove(), player_->ShownPicture()};
}

InstanceState TfFrameLock::WatchdogState() const {
    InstanceState state;
    state.master = IsMaster();
    state.segment = show_->cuedSegment() + 1;
    state.playing = player_->Running();
    if (IsMaster() && IsLan()) {
        state.slaves = static_cast<int>(Server->Clients().size());
    }
    return state;
}

void TfFrameLock::ReportSettingsAccess() {
    const std::optional<QString> problem =
        settingsWriteProblem(services_.programDir + QStringLiteral("frameLock.ini"));
    if (!problem) {
        return;
    }
    const passwd* user = ::getpwuid(::geteuid());
    const QString text =
        lang->TextByKey(QStringLiteral("TxT_SettingsNotWritable"))
            .arg(QDir::toNativeSeparators(QDir(services_.programDir).absolutePath()), *problem,
                 user != nullptr ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("show"));
    qCWarning(lcStorage).noquote() << text;
    ShowStatus(IsMaster() ? ui->eServerStatus : ui->eClientStatus, QString(), text);
    slaveReporter_->noteError(text);
}

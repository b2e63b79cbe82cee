// The status back channel: a LAN Slave reports its media and its place in the show to its
// Master (SlaveShowReporter); the Master keeps what they report and its own screen in the show's
// snapshot (MasterStatusKeeper). The window hands both what its controls show, draws the
// Slaves' list and says the check at Start.
#include "app/window/frame_lock.h"

#include "app/master_status_keeper.h"
#include "app/player_facts.h"
#include "app/show_controller.h"
#include "app/show_status.h"
#include "app/slave_show_reporter.h"
#include "net/simple_tcp_client.h"
#include "net/simple_tcp_server.h"
#include "storage/kt_language.h"
#include "storage/wording.h"
#include "ui_fFrameLock.h"
#include "widgets/product_info.h"

#include <QFileInfo>
#include <QSysInfo>

void TfFrameLock::createStatusDesk() {
    const auto fileName = [this] { return QFileInfo(ui->eFilename->text()).fileName(); };
    const auto screenName = [this] {
        return TitleSuffix.isEmpty() ? QSysInfo::machineHostName() : TitleSuffix;
    };
    statusKeeper_ = new MasterStatusKeeper(
        *player_, *show_, *Server, *statusModel_,
        services_.programDir + QStringLiteral("frameLock-show.csv"),
        {[this] { return Closing; }, fileName, screenName,
         [this] {
             return MasterStatusKeeper::Switches{
                 ui->cbRepeat->isChecked(), ui->cbFullscreen->isChecked(), ui->cbLock->isChecked()};
         },
         [this] { return ui->lbCut->currentRow(); }, [this] { return lang->LanguageIndex(); },
         [this](const QString& key) { return lang->TextByKey(key); }, product::kTitleWithVersion},
        this);
    slaveReporter_ = new SlaveShowReporter(
        *player_, *show_,
        {[this] { return Closing; }, [this] { return Client->Connected(); },
         [this](const QByteArray& command) { SendCommand(command); }, fileName,
         [this] { return ui->lComStatus->text(); }, screenName, product::kTitleWithVersion},
        this);
    connect(statusKeeper_, &MasterStatusKeeper::slaveListChanged, this,
            &TfFrameLock::RenderSlaveList);
    statusKeeper_->start();
    slaveReporter_->start();
}

void TfFrameLock::RenderSlaveList(const QStringList& entries, const QStringList& hints) {
    if (ui->lbConnected->count() != entries.size()) {
        ui->lbConnected->clear();
        ui->lbConnected->addItems(entries);
    }
    for (int row = 0; row < entries.size(); ++row) {
        QListWidgetItem* item = ui->lbConnected->item(row);
        if (item->text() != entries[row]) {
            item->setText(entries[row]);
        }
        // The whole entry too: a long one may still be cut at the list's edge.
        item->setToolTip(hints[row].isEmpty() ? entries[row]
                                              : entries[row] + QLatin1Char('\n') + hints[row]);
    }
}

void TfFrameLock::PreflightCheck() {
    if (!IsMaster() || !IsLan()) {
        return;
    }
    const MasterStatusKeeper::Check check = statusKeeper_->check();
    if (check.problems.isEmpty()) {
        if (ui->eServerStatus->text().startsWith(statusKeeper_->words().checkFailed) &&
            Server->Listen()) {
            ShowStatus(ui->eServerStatus, QStringLiteral("TxT_ServerOK"));
        }
        return;
    }
    // Shown, not asked: an unattended Auto Start must not wait for a click.
    ShowStatus(ui->eServerStatus, [instances = check.instances,
                                   syncPoints = check.syncPoints](const Wording& say) {
        const StatusWords words = StatusWords::fromWording(say);
        return words.checkFailed + QLatin1Char(' ') +
               preflightProblems(instances, syncPoints, words).join(QStringLiteral("; "));
    });
}

void TfFrameLock::StatusLooped() {
    if (IsMaster()) {
        statusKeeper_->segmentStarted(loopStartInFile(*player_, show_->model()));
    } else {
        slaveReporter_->looped();
    }
}

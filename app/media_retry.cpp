#include "app/media_retry.h"

#include "media/file_stamp.h"
#include "media/graph_player.h"
#include "media/media_log.h"
#include "widgets/dialog_service.h"

#include <QScopedValueRollback>
#include <utility>

MediaRetry::MediaRetry(TGraphPlayer& player, MediaNeeds needs, QObject* parent)
    : QObject(parent), player_(player), needs_(std::move(needs)) {
    timer_.setObjectName(QStringLiteral("MediaRetryTimer"));
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &MediaRetry::retry);
}

MediaRetry::~MediaRetry() = default;

bool MediaRetry::awaits(const QString& fileBoxText) const {
    return fileBoxText.isEmpty() && !awaited_.isEmpty();
}

QString MediaRetry::showFile(const QString& fileBoxText) const {
    return awaits(fileBoxText) ? awaited_ : fileBoxText;
}

void MediaRetry::fileFailed(const QString& fileName) {
    failed_ = fileName;
    failedStamp_ = fileStamp(failed_);
    opened_.reset();
    // Whenever it fails, at start-up or while the show runs (a file being copied anew, a drive
    // that went away for a moment), the show's file is looked for again until it opens.
    if (!failed_.isEmpty()) {
        if (awaited_ != failed_) {
            qCInfo(lcMedia).noquote()
                << "trying again every" << kIntervalMs / 1000 << "s to open" << failed_;
        }
        awaited_ = failed_;
        timer_.start();
    }
    emit fileBoxWanted(QString());
}

void MediaRetry::opened() {
    if (ended_ || !player_.MediaOpen()) {
        return;
    }
    const QString& name = player_.FileName();
    opened_ = OpenedFile{name, player_.DurationFrames(), fileStamp(name)};
    if (!openShort()) {
        shortLogged_.reset();
    }
    checkLength();
}

bool MediaRetry::openShort() const {
    return player_.MediaOpen() && opened_ && opened_->name == player_.FileName() &&
           player_.DurationFrames() < needs_.frames();
}

void MediaRetry::checkLength() {
    if (ended_ || !player_.MediaOpen()) {
        return;
    }
    if (!openShort()) {
        timer_.stop();
        return;
    }
    // A stub that opens (a file cut short, a copy under way) would otherwise end the retry for
    // good: the show would never see the whole file again.
    const std::pair<QString, std::int64_t> logged{opened_->name, opened_->frames};
    if (shortLogged_ != logged) {
        shortLogged_ = logged;
        qCWarning(lcMedia).noquote()
            << logged.first << "has" << logged.second << "frames, fewer than the" << needs_.frames()
            << "the show cues; trying again every" << kIntervalMs / 1000
            << "s to open it whole once it changes";
    }
    if (!timer_.isActive()) {
        timer_.start();
    }
}

void MediaRetry::retry() {
    if (ended_) {
        timer_.stop();
    } else if (player_.MediaOpen()) {
        watchShort();
    } else if (awaited_.isEmpty()) {
        timer_.stop();
    } else {
        tryAwaited();
    }
}

void MediaRetry::tryAwaited() {
    // Not handed to the media while absent, nor again as it was when it failed: every attempt
    // would log the same failure.
    const QString stamp = fileStamp(awaited_);
    if (stamp.isEmpty() || stamp == failedStamp_) {
        failedStamp_ = stamp;
        return;
    }
    emit fileBoxWanted(awaited_);
    player_.setFileName(awaited_);
    {
        const QScopedValueRollback retrying(retrying_, true);
        player_.OpenMedia();
    }
    if (player_.MediaOpen()) {
        awaited_.clear();
        if (!openShort()) {
            timer_.stop();
        }
        closeNotice();
        emit reopened();
    }
}

void MediaRetry::watchShort() {
    if (!openShort()) {
        timer_.stop();
        return;
    }
    const QString stamp = fileStamp(opened_->name);
    if (stamp.isEmpty() || stamp == opened_->stamp) {
        return;
    }
    // A moving picture is not cut off: the file is opened again once the picture stands still
    // (cued, stopped, held at the end of its range) or the cued segment lies past its end.
    if (player_.PictureShouldMove() && needs_.canRun()) {
        return;
    }
    qCInfo(lcMedia).noquote() << opened_->name << "changed since it opened short; read anew";
    needs_.reopen();
    opened();
}

bool MediaRetry::openChosen() {
    {
        const QScopedValueRollback choosing(choosing_, true);
        player_.OpenMedia();
    }
    if (!player_.MediaOpen()) {
        return false;
    }
    awaited_.clear();
    if (!openShort()) {
        timer_.stop();
    }
    return true;
}

void MediaRetry::await(const QString& fileName) {
    emit fileBoxWanted(QString());
    awaited_ = fileName;
    timer_.start();
}

void MediaRetry::forget() {
    awaited_.clear();
    timer_.stop();
}

void MediaRetry::noticeLater(const QString& text, const QString& caption, int flags) {
    QTimer::singleShot(0, this, [this, text, caption, flags] {
        if (!ended_ && !player_.MediaOpen() && dialogs_ != nullptr) {
            closeNotice();
            notice_ = dialogs_->showNotice(text, caption, flags);
        }
    });
}

void MediaRetry::closeNotice() {
    if (notice_ >= 0 && dialogs_ != nullptr) {
        dialogs_->closeNotice(notice_);
    }
    notice_ = -1;
}

void MediaRetry::end() {
    ended_ = true;
    timer_.stop();
    closeNotice();
}

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

class DialogService;
class TGraphPlayer;

// What the retry asks of the show about its file.
struct MediaNeeds {
    // The frames the show cues of the file.
    std::function<std::int64_t()> frames;
    // Whether the segment cued can play from the file as it is.
    std::function<bool()> canRun;
    // The file opened anew, and the segment that was cued cued again.
    std::function<void()> reopen;
};

// The show's media file while it cannot be played as the show needs it: one that failed to open
// (a drive not yet mounted, a file being copied) is looked for again until it opens, under the
// name the show had; one that opened shorter than the show cues (cut to a stub that still opens)
// is watched and opened again once it changed. Tells the file box and the failure's notice what
// to show. User-interface thread only.
class MediaRetry : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 3000;

    MediaRetry(TGraphPlayer& player, MediaNeeds needs, QObject* parent = nullptr);
    ~MediaRetry() override;

    // Named "MediaRetryTimer"; its timeout is handed to retry() by the owner of its handler.
    QTimer& timer() { return timer_; }
    // Where the notice goes; none: no notice.
    void setDialogs(DialogService* dialogs) { dialogs_ = dialogs; }

    // The file the show keeps while the file box shows nothing; empty when none is awaited.
    const QString& awaitedFile() const { return awaited_; }
    // The file that failed last.
    const QString& failedFile() const { return failed_; }
    bool trying() const { return timer_.isActive(); }
    // An open made by the retry or by the operator's choice: its failure is told there, once.
    bool openingQuietly() const { return retrying_ || choosing_; }
    // The file the show is set to, given what the file box shows, and whether it is awaited.
    bool awaits(const QString& fileBoxText) const;
    QString showFile(const QString& fileBoxText) const;

    // The player failed to open fileName.
    void fileFailed(const QString& fileName);
    // A file opened: it is taken as it is now.
    void opened();
    // Whether the open file is as long as the show needs, which follows the show's list.
    void checkLength();
    // The timer's tick: the awaited file tried again, or the short one looked at.
    void retry();
    // The operator's choice, set as the player's file, opened; true when it opened.
    bool openChosen();
    // A failed choice leaves the show with the file it awaited.
    void await(const QString& fileName);
    // A file the operator chose (or none) is the show's file from now on.
    void forget();
    // The notice of a failed file, shown once the current event is done, while the file stays
    // closed; it goes when the file opens.
    void noticeLater(const QString& text, const QString& caption, int flags);
    void closeNotice();
    // The program ends: nothing is tried or shown any more.
    void end();

signals:
    // The file box is to show this, without the show taking it as the operator's choice.
    void fileBoxWanted(const QString& text);
    // The retry opened the awaited file.
    void reopened();

private:
    void tryAwaited();
    void watchShort();
    bool openShort() const;
    // The file as it opened: its name, its frames and how it was (see fileStamp).
    struct OpenedFile {
        QString name;
        std::int64_t frames = 0;
        QString stamp;
    };

    TGraphPlayer& player_;
    MediaNeeds needs_;
    DialogService* dialogs_ = nullptr;
    QTimer timer_;
    // Kept while it cannot be opened: the file box shows nothing then (so a Play does not try
    // it again), but the stored setting and the retry still name it.
    QString awaited_;
    QString failed_;
    // The failed file as it was then: it is tried again once it changed.
    QString failedStamp_;
    std::optional<OpenedFile> opened_;
    // The short file logged last, so that a list sent anew at each start does not log it again.
    std::optional<std::pair<QString, std::int64_t>> shortLogged_;
    bool retrying_ = false;
    bool choosing_ = false;
    bool ended_ = false;
    // The notice that says a media file is tried again, while it is up; -1: none.
    int notice_ = -1;
};

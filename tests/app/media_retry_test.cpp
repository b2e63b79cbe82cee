// The show's file while it cannot be played as the show needs it: tried again once it changed,
// and a stub that opens is no end of the retry.
#include "app/media_retry.h"
#include "show_rig.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

int renders(const QStringList& log) {
    return static_cast<int>(log.filter(QStringLiteral("renderFile")).size());
}

ShowRig::Settings masterWith(const QStringList& points) {
    ShowRig::Settings settings;
    settings.syncPoints = points;
    return settings;
}

// The rig's show on a file of the directory, opened with `frames` frames.
void openAs(ShowRig& rig, const QString& path, std::int64_t frames) {
    rig.player->CloseMedia();
    rig.media->config.duration = frames;
    rig.player->setFileName(path);
    rig.player->OpenMedia();
}

// A file that failed is kept under its name and handed to the media again only once it is
// there and changed; opened, the retry ends, the box names it again and the show is cued.
TEST(MediaRetry, AFailedFileIsTriedAgainOnlyOnceItChangedUnderItsOwnName) {
    QTemporaryDir drive;
    const QString path = drive.filePath(QStringLiteral("film.avi"));
    ShowRig rig(masterWith({"100", "200"}));
    MediaRetry& retry = rig.show->mediaRetry();
    QSignalSpy box(&retry, &MediaRetry::fileBoxWanted);
    QSignalSpy reopened(&retry, &MediaRetry::reopened);
    rig.media->config.render = false;
    openAs(rig, path, 1000);
    ASSERT_FALSE(rig.player->MediaOpen());
    EXPECT_TRUE(retry.trying());
    EXPECT_EQ(retry.awaitedFile(), path);
    EXPECT_TRUE(retry.awaits(QString()));
    EXPECT_EQ(retry.showFile(QString()), path);
    ASSERT_EQ(box.size(), 1);
    EXPECT_EQ(box[0][0].toString(), QString());

    // Absent, then there but still unplayable and unchanged since: not handed to the media.
    rig.mediaLog->clear();
    retry.retry();
    EXPECT_EQ(renders(*rig.mediaLog), 0);
    writeFile(path, "copy under way");
    retry.retry();
    EXPECT_EQ(renders(*rig.mediaLog), 1);
    EXPECT_TRUE(retry.trying());
    retry.retry();
    EXPECT_EQ(renders(*rig.mediaLog), 1);

    rig.media->config.render = true;
    writeFile(path, "the whole film, restored");
    rig.moves();
    retry.retry();
    EXPECT_TRUE(rig.player->MediaOpen());
    EXPECT_EQ(rig.player->FileName(), path);
    EXPECT_FALSE(retry.trying());
    EXPECT_EQ(retry.awaitedFile(), QString());
    EXPECT_EQ(reopened.size(), 1);
    EXPECT_EQ(box.last()[0].toString(), path);
    EXPECT_EQ(rig.moves(), QStringList({"setPositions 0 100", "pause"}));

    // The operator's own choice ends the wait for the file.
    rig.media->config.render = false;
    openAs(rig, path, 1000);
    ASSERT_TRUE(retry.trying());
    retry.forget();
    EXPECT_FALSE(retry.trying());
    EXPECT_FALSE(retry.awaits(QString()));
}

// A file cut to a stub that still opens: the show needs frames it has not. It is watched, and
// once it changed it is opened again where the show stands; a picture that moves is not cut off.
TEST(MediaRetry, AStubThatOpensIsOpenedAgainOnceItChangedAndTheSegmentCuedAgain) {
    QTemporaryDir drive;
    const QString path = drive.filePath(QStringLiteral("film.avi"));
    writeFile(path, "stub");
    ShowRig rig(masterWith({"100", "200", "300"}));
    MediaRetry& retry = rig.show->mediaRetry();
    openAs(rig, path, 150);
    ASSERT_TRUE(rig.player->MediaOpen());
    EXPECT_TRUE(retry.trying());

    // Unchanged, it is left as it is.
    rig.mediaLog->clear();
    retry.retry();
    EXPECT_EQ(renders(*rig.mediaLog), 0);

    // Changed while the first segment (which the stub holds) plays: it plays on.
    rig.show->start();
    ASSERT_TRUE(rig.fireStart());
    writeFile(path, "the whole film again");
    rig.media->config.duration = 1000;
    retry.retry();
    EXPECT_EQ(renders(*rig.mediaLog), 0);
    EXPECT_EQ(rig.player->DurationFrames(), 150);
    // A list set anew meanwhile (as a Slave gets it at each start) does not hide the change.
    rig.show->setSyncPoints({"100"});
    rig.show->setSyncPoints({"100", "200", "300"});

    // Its end cues the next segment, whose end the stub lacks: the picture stands still, the file
    // is read anew and the segment cued on it again.
    rig.complete();
    EXPECT_EQ(rig.show->cuedSegment(), 1);
    rig.moves();
    retry.retry();
    EXPECT_EQ(renders(*rig.mediaLog), 1);
    EXPECT_EQ(rig.player->DurationFrames(), 1000);
    EXPECT_EQ(rig.show->cuedSegment(), 1);
    const QStringList moves = rig.moves();
    EXPECT_EQ(moves.mid(moves.size() - 2), QStringList({"setPositions 100 200", "pause"}));
    EXPECT_FALSE(retry.trying());
    // The start armed by the cue still comes, on the whole file.
    EXPECT_TRUE(rig.fireStart());
    EXPECT_EQ(rig.media->state.start, 100);
    EXPECT_EQ(rig.media->state.stop, 200);
}

// What the show needs grows with its list: a file that sufficed is watched once it no longer
// does, and no longer once it does again.
TEST(MediaRetry, TheLengthNeededFollowsTheListAndTheInPoint) {
    ShowRig rig(masterWith({"100"}));
    MediaRetry& retry = rig.show->mediaRetry();
    ASSERT_EQ(rig.player->DurationFrames(), 1000);
    EXPECT_FALSE(retry.trying());
    rig.show->setSyncPoints({"100", "1000"});
    EXPECT_FALSE(retry.trying());
    rig.show->setInPoint(1);
    EXPECT_TRUE(retry.trying());
    rig.show->setInPoint(0);
    EXPECT_FALSE(retry.trying());
    rig.show->setSyncPoints({"100", "1001"});
    EXPECT_TRUE(retry.trying());
}

}  // namespace

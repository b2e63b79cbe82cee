#include "media/fake_media_service.h"
#include "media/graph_player.h"
#include "media/media_service.h"
#include "net/simple_tcp_server.h"
#include "storage/kt_language.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>

namespace {

QByteArray masterWith(const QString& file) {
    return systemSection({QStringLiteral("Server_Port=%1").arg(freePort()),
                          QStringLiteral("ComportsNr_ktBoolean=False"),
                          QStringLiteral("eFilename_Text=") + file});
}

// A show whose drive is not mounted yet when the program starts: the box says so in the
// operator's language, waits for nobody and goes when the file opens.
TEST(WindowStartUp, AMediaFileMissingAtStartUpIsNamedKeptAndTriedAgain) {
    QTemporaryDir drive;
    const QString file = drive.filePath(QStringLiteral("film.mp4"));
    WindowHarness show(systemSection(
        {QStringLiteral("Server_Port=%1").arg(freePort()),
         QStringLiteral("ComportsNr_ktBoolean=False"), QStringLiteral("sbGerman_Down=True"),
         QStringLiteral("sbUSA_Down=False"), QStringLiteral("eFilename_Text=") + file}));
    show.media().config.render = false;
    show.show();
    // The box comes once the start is done, not from within it.
    EXPECT_TRUE(show.dialogs.notices.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(show.dialogs.notices.size(), 1u);
    EXPECT_TRUE(show.dialogs.messages.empty());
    const QString text = show.dialogs.notices[0].text;
    EXPECT_EQ(text,
              QStringLiteral("Die Mediendatei lässt sich nicht abspielen.\nNicht gefunden:\n") +
                  file +
                  QStringLiteral("\n\nDas Programm versucht es alle 3 Sekunden erneut und "
                                 "spielt sie ab, sobald sie sich öffnen lässt; diese "
                                 "Meldung schließt sich dann von selbst."));
    EXPECT_TRUE(show.window().Server->Listen());

    // Still missing: nothing is handed to the media, the box stays.
    show.mediaLog->clear();
    show.window().MediaRetryTimerTimer();
    EXPECT_FALSE(show.mediaLog->join(' ').contains(QStringLiteral("renderFile")));
    EXPECT_TRUE(show.dialogs.notices[0].open);

    QFile(file).open(QIODevice::WriteOnly);
    show.media().config.render = true;
    show.window().MediaRetryTimerTimer();
    EXPECT_TRUE(show.window().player().MediaOpen());
    EXPECT_EQ(show.ui().eFilename->text(), file);
    EXPECT_FALSE(show.dialogs.notices[0].open);
    EXPECT_EQ(show.dialogs.notices.size(), 1u);
    EXPECT_TRUE(show.dialogs.messages.empty());
}

// A file that fails while the show runs (copied anew, its drive gone for a moment) is looked
// for again as one missing at start-up, under the name the show had.
TEST(WindowStartUp, AMediaFileThatFailsWhileTheShowRunsIsTriedAgainUnderItsName) {
    QTemporaryDir drive;
    const QString file = drive.filePath(QStringLiteral("film.mp4"));
    QFile(file).open(QIODevice::WriteOnly);
    WindowHarness show(masterWith(file));
    show.show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(show.window().player().MediaOpen());

    show.media().config.render = false;
    show.media().queueEvent(EC_ERRORABORT);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_FALSE(show.window().player().MediaOpen());
    ASSERT_EQ(show.dialogs.notices.size(), 1u);
    EXPECT_TRUE(show.dialogs.notices[0].open);

    // Restored, it opens under its name and the box goes.
    show.media().config.render = true;
    QFile restored(file);
    ASSERT_TRUE(restored.open(QIODevice::WriteOnly));
    restored.write("restored");
    restored.close();
    show.window().MediaRetryTimerTimer();
    EXPECT_TRUE(show.window().player().MediaOpen());
    EXPECT_EQ(show.ui().eFilename->text(), file);
    EXPECT_FALSE(show.dialogs.notices[0].open);
    EXPECT_TRUE(show.dialogs.messages.empty());
}

}  // namespace

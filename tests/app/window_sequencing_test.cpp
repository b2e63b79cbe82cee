#include "media/fake_media_service.h"
#include "media/graph_player.h"
#include "net/loopback.h"
#include "net/simple_tcp_server.h"
#include "window_harness.h"

#include <gtest/gtest.h>
#include <QTest>
#include <QTimer>
#include <utility>

namespace {

// A Master with the given Sync points, In point and a short sync time.
WindowSettings masterWith(const QStringList& points, int inPoint = 0) {
    WindowSettings settings;
    settings.syncPoints = points;
    settings.in = inPoint;
    settings.syncTimeMs = 20;
    return settings;
}

// Where a seek goes, what it sends and how steps wrap is the controller's (show_controller_test);
// the window's are the keys and the bar that ask for it and the boxes that show the place.
TEST(WindowSequencing, TheBarTheKeysAndGoSeekAndTheBoxesShowThePlace) {
    WindowSettings settings = masterWith({"900"}, 100);
    settings.port = freePort();
    WindowHarness h(settings.text());
    h.media().config.duration = 2000;
    h.show();

    h.ui().lbCut->setCurrentRow(0);
    h.ui().bGo->click();
    EXPECT_EQ(h.ui().tbPosition->value(), 500);
    EXPECT_EQ(h.ui().seAktFrame->text(), QStringLiteral("1000"));
    const qsizetype before = h.mediaLog->size();
    h.ui().tbPosition->setValue(250);
    EXPECT_EQ(h.ui().seAktFrame->text(), QStringLiteral("500"));
    EXPECT_EQ(h.mediaLog->mid(before).filter(QStringLiteral("setPositions")),
              QStringList({"setPositions 500 2000"}));

    h.media().config.position = 1000;
    for (const auto& [key, frame] : {std::pair{Qt::Key_F8, "1001"}, std::pair{Qt::Key_F7, "999"},
                                     std::pair{Qt::Key_F6, "1025"}, std::pair{Qt::Key_F5, "975"}}) {
        QTest::keyClick(&h.window(), key);
        EXPECT_EQ(h.ui().seAktFrame->text(), QLatin1String(frame)) << key;
    }
}

TEST(WindowSequencing, TheFrameBoxIsNotOverwrittenWhileTheOperatorTypes) {
    TappedMaster show(masterWith({}));
    Ui::TfFrameLock& ui = show.h.ui();
    show.h.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&show.h.window()));
    show.h.media().config.position = 333;
    ui.seAktFrame->setFocus();
    ui.seAktFrame->clear();
    QTest::keyClicks(ui.seAktFrame, QStringLiteral("77"));
    show.h.window().StatusTimerTimer();
    EXPECT_EQ(ui.seAktFrame->text(), QStringLiteral("77"));
    ui.eIn->setFocus();
    show.h.window().StatusTimerTimer();
    EXPECT_EQ(ui.seAktFrame->text(), QStringLiteral("333"));
}

}  // namespace

namespace {

TEST(WindowSequencing, ClosingWhileAStartIsPendingSendsNothingMore) {
    TappedMaster show(masterWith({"500"}));
    show.h.window().StartTimer->setInterval(100);
    show.h.ui().cbFullscreen->setChecked(true);
    show.h.ui().bPlay->click();
    EXPECT_EQ(show.tap->take(5), QStringList({"Ful1", "ClLi", "SeLi500", "DoNC0", "FSc1"}));
    show.h.window().close();
    settle(400);
    EXPECT_EQ(show.tap->take(), QStringList());
    EXPECT_FALSE(show.h.window().Server->Listen());
}

}  // namespace

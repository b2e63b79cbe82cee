// The saved window position under a window manager that frames the window in steps, as a busy
// one does: for a while after the map the window sits in a frame of a single pixel, from which
// the window tree gives margins that are no frame at all.
#include "placed_window.h"
#include "slow_window_manager.h"
#include "storage/profile_file.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Outcome {
    std::vector<QPoint> placesAsked;
    std::optional<QPoint> frame;
    QByteArray savedNormPos;
};

// A fixed window of 400×300 saved with its frame at 300,200 and that frame's margins, shown and
// framed by a window manager that takes framingTime to frame it whole, then dragged to dragTo.
Outcome showSavedWindow(SlowWindowManager::FirstFrame first,
                        std::chrono::milliseconds framingTime = 1500ms,
                        std::optional<QPoint> dragTo = std::nullopt) {
    const QMargins frame(1, 20, 1, 5);
    SlowWindowManager manager(frame, first, framingTime);
    EXPECT_TRUE(manager.running());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frameLock.ini"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray dpi =
        QByteArray::number(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()));
    file.write("[System]\nPixelsPerInch=" + dpi +
               "\nMinMaxPos=-1,-1,-1,-20\nNormPos=300,200,702,525\n");
    file.close();

    Outcome outcome;
    PlacedWindow placed(path, false);
    placed.window.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager.framed(); }, 20000));
    // A correction comes at the latest a quiet second after the last judgement.
    QTest::qWait(2500);
    if (dragTo) {
        manager.dragFrameTo(*dragTo);
        // As long as a correction of the restored place would take.
        QTest::qWait(2500);
    }
    outcome.placesAsked = manager.placesAsked();
    outcome.frame = manager.framePosition();
    placed.placement.FormDestroy();
    outcome.savedNormPos = readProfileFile(path).readString("System", "NormPos", {});
    return outcome;
}

// Margins read from a frame of a single pixel are no frame's: the window keeps the place it was
// put at rather than jump by its title bar.
TEST(PlacementWhileFramed, AWindowInAFrameNotYetSizedAsksForNoOtherPlace) {
    const Outcome outcome = showSavedWindow(SlowWindowManager::FirstFrame::SinglePixel);
    for (const QPoint& asked : outcome.placesAsked) {
        EXPECT_EQ(asked, QPoint(301, 220)) << "the window asked for a place off its saved frame";
    }
    EXPECT_EQ(outcome.frame, QPoint(300, 200));
    EXPECT_EQ(outcome.savedNormPos, "300,200,702,525");
}

// Margins read from a frame of the right size with the window not yet in its place look real; the
// place asked for on them is corrected once the frame is complete, though nothing reports it.
TEST(PlacementWhileFramed, AWindowJudgedOnAFrameHalfBuiltComesBackToItsSavedPlace) {
    const Outcome outcome = showSavedWindow(SlowWindowManager::FirstFrame::FullSize);
    EXPECT_EQ(outcome.frame, QPoint(300, 200));
    EXPECT_EQ(outcome.savedNormPos, "300,200,702,525");
}

// A window manager slower than the placement waits for still frames the window where it was put;
// once framed, the window is the user's to move.
TEST(PlacementWhileFramed, AWindowFramedLateStaysWhereTheUserDragsIt) {
    const Outcome outcome =
        showSavedWindow(SlowWindowManager::FirstFrame::SinglePixel, 3000ms, QPoint(500, 400));
    EXPECT_EQ(outcome.frame, QPoint(500, 400)) << "the window went back to its restored place";
    EXPECT_EQ(outcome.savedNormPos, "500,400,902,725");
}

}  // namespace

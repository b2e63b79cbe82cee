#include <gtest/gtest.h>

#include "widgets/gui/led_indicator.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

namespace {

using Style = TLedIndicator::TLEDStyle;
const Style kAllStyles[] = {TLedIndicator::LEDSmall,    TLedIndicator::LEDLarge,
                            TLedIndicator::LEDSqSmall,  TLedIndicator::LEDSqLarge,
                            TLedIndicator::LEDVertical, TLedIndicator::LEDHorizontal};

QRgb rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

// A shown window holding one lamp, so that paints really happen.
struct LampOnWindow {
    LampOnWindow() : lamp(new TLedIndicator(&window)) {
        window.resize(80, 60);
        lamp->move(10, 10);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        lamp->installEventFilter(&counter);
    }
    QWidget window;
    TLedIndicator* lamp;
    PaintCounter counter;
};

}  // namespace

TEST(LedImages, EveryStyleRecoloursBodyAndKeepsOrReplacesTheSurround) {
    QWidget window;
    QPalette face = window.palette();
    face.setColor(QPalette::Window, QColor(10, 90, 160));
    window.setPalette(face);
    for (const Style style : kAllStyles) {
        for (const bool bordered : {true, false}) {
            SCOPED_TRACE(TLedIndicator::bitmapName(style, bordered).toStdString());
            TLedIndicator lamp(&window);
            lamp.setBordered(bordered);
            lamp.setLEDStyle(style);
            lamp.setTrueColor(colors::clRed);
            lamp.setFalseColor(0x336699);
            const QImage& on = lamp.onImage();
            const QImage& off = lamp.offImage();
            ASSERT_EQ(on.size(), TLedIndicator::sizeForStyle(style));
            const int cx = on.width() / 2;
            const int cy = on.height() / 2;
            EXPECT_EQ(on.pixel(cx, cy), rgb(255, 0, 0));
            EXPECT_EQ(off.pixel(cx, cy), rgb(0x99, 0x66, 0x33));
            const QPoint last(on.width() - 1, on.height() - 1);
            if (bordered) {
                EXPECT_EQ(on.pixel(0, 0), rgb(255, 255, 255));
                EXPECT_EQ(on.pixel(last), rgb(128, 128, 128));
            } else {
                // The default BorderColor is the face colour of the window the lamp sits on.
                for (const QPoint corner :
                     {QPoint(0, 0), QPoint(last.x(), 0), QPoint(0, last.y()), last}) {
                    EXPECT_EQ(on.pixel(corner), rgb(10, 90, 160));
                    EXPECT_EQ(off.pixel(corner), rgb(10, 90, 160));
                }
            }
            // No pixel of the prepared body colour is left: the whole body was one area.
            for (int y = 0; y < on.height(); ++y) {
                for (int x = 0; x < on.width(); ++x) {
                    ASSERT_NE(on.pixel(x, y), rgb(0, 255, 0)) << x << "," << y;
                }
            }
        }
    }
}

TEST(LedImages, DefaultsAreGreenOnSilverOffWithFrame) {
    TLedIndicator lamp;
    EXPECT_EQ(lamp.size(), QSize(16, 16));
    EXPECT_FALSE(lamp.Value());
    EXPECT_TRUE(lamp.Bordered());
    EXPECT_TRUE(lamp.Blink());
    EXPECT_EQ(lamp.Interval(), 1000);
    EXPECT_EQ(lamp.onImage().pixel(8, 8), rgb(0, 255, 0));
    EXPECT_EQ(lamp.offImage().pixel(8, 8), rgb(192, 192, 192));
    EXPECT_EQ(lamp.currentImage(), lamp.offImage());
    EXPECT_FALSE(lamp.isBlinking());
}

TEST(LedImages, ExplicitBorderColourReplacesSilverOfFramelessLamp) {
    TLedIndicator lamp;
    lamp.setBordered(false);
    lamp.setBorderColor(colors::clBlue);
    EXPECT_EQ(lamp.onImage().pixel(0, 0), rgb(0, 0, 255));
    lamp.setBordered(true);
    EXPECT_EQ(lamp.onImage().pixel(0, 0), rgb(255, 255, 255));
}

TEST(LedStyle, StyleSetsTheSizeWhateverItWas) {
    TLedIndicator lamp;
    lamp.setMinimumSize(0, 0);
    lamp.setMaximumSize(500, 500);
    lamp.resize(40, 40);
    lamp.setLEDStyle(TLedIndicator::LEDHorizontal);
    EXPECT_EQ(lamp.size(), QSize(22, 16));
    lamp.setLEDStyle(TLedIndicator::LEDVertical);
    EXPECT_EQ(lamp.size(), QSize(16, 22));
}

TEST(LedValue, SteadyLampDrawsAtOnceAndOnlyOnChange) {
    LampOnWindow w;
    w.lamp->setBlink(false);
    QCoreApplication::processEvents();
    w.counter.paints = 0;
    w.lamp->setValue(true);
    EXPECT_EQ(w.counter.paints, 1);  // drawn synchronously, not at the next paint cycle
    EXPECT_EQ(w.lamp->currentImage(), w.lamp->onImage());
    EXPECT_FALSE(w.lamp->isBlinking());
    w.lamp->setValue(true);
    EXPECT_EQ(w.counter.paints, 1);
    w.lamp->setValue(false);
    EXPECT_EQ(w.counter.paints, 2);
    EXPECT_EQ(w.lamp->currentImage(), w.lamp->offImage());
}

TEST(LedBlink, LightsAtOnceThenTogglesEveryIntervalAndStopsWhenCleared) {
    LampOnWindow w;
    w.lamp->setInterval(60);
    std::vector<std::pair<qint64, bool>> steps;
    QElapsedTimer clock;
    w.lamp->OnTimer = [&](TLedIndicator& sender) {
        steps.emplace_back(clock.elapsed(), sender.currentImage() == sender.onImage());
    };
    clock.start();
    w.lamp->setValue(true);
    EXPECT_EQ(w.lamp->currentImage(), w.lamp->onImage());
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps.size() >= 3; }, 3000));
    EXPECT_GE(steps[0].first, 55);
    EXPECT_FALSE(steps[0].second);
    EXPECT_TRUE(steps[1].second);
    EXPECT_FALSE(steps[2].second);
    w.lamp->setValue(false);
    EXPECT_FALSE(w.lamp->isBlinking());
    EXPECT_EQ(w.lamp->currentImage(), w.lamp->offImage());
    const std::size_t seen = steps.size();
    // More than two blink steps: a blink still running would have stepped.
    QTest::qWait(150);
    EXPECT_EQ(steps.size(), seen);
}

TEST(LedBlink, NewColourKeepsBlinkingAndRestartsWithTheOnImage) {
    LampOnWindow w;
    w.lamp->setInterval(40);
    int ticks = 0;
    w.lamp->OnTimer = [&](TLedIndicator&) { ++ticks; };
    w.lamp->setValue(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks == 1; }, 3000));
    ASSERT_EQ(w.lamp->currentImage(), w.lamp->offImage());
    w.lamp->setTrueColor(colors::clRed);
    EXPECT_TRUE(w.lamp->Blink());
    EXPECT_TRUE(w.lamp->isBlinking());
    EXPECT_EQ(w.lamp->currentImage(), w.lamp->onImage());
    EXPECT_EQ(w.lamp->currentImage().pixel(8, 8), rgb(255, 0, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks == 2; }, 3000));
    EXPECT_EQ(w.lamp->currentImage(), w.lamp->offImage());
}

TEST(LedBlink, TurningBlinkOffShowsTheSteadyImageOfTheValue) {
    LampOnWindow w;
    w.lamp->setInterval(30);
    int ticks = 0;
    w.lamp->OnTimer = [&](TLedIndicator&) { ++ticks; };
    w.lamp->setValue(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks == 1; }, 3000));
    w.lamp->setBlink(false);
    EXPECT_FALSE(w.lamp->isBlinking());
    EXPECT_EQ(w.lamp->currentImage(), w.lamp->onImage());
    w.lamp->setBlink(true);
    EXPECT_TRUE(w.lamp->isBlinking());
}

TEST(LedBlink, IntervalChangesTheRunningTimerAtOnce) {
    LampOnWindow w;
    w.lamp->setInterval(5000);
    int ticks = 0;
    w.lamp->OnTimer = [&](TLedIndicator&) { ++ticks; };
    w.lamp->setValue(true);
    w.lamp->setInterval(30);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 2000));
}

TEST(LedProperties, ReachableByTheirNames) {
    TLedIndicator lamp;
    EXPECT_TRUE(lamp.setProperty("LEDStyle", QStringLiteral("LEDSqLarge")));
    EXPECT_EQ(lamp.LEDStyle(), TLedIndicator::LEDSqLarge);
    EXPECT_TRUE(lamp.setProperty("TrueColor", colors::clRed));
    EXPECT_EQ(lamp.property("TrueColor").toInt(), colors::clRed);
    EXPECT_TRUE(lamp.setProperty("Value", true));
    EXPECT_TRUE(lamp.Value());
    // The language file sets hints by name; they show unless ShowHint is turned off.
    EXPECT_TRUE(lamp.setProperty("Hint", QStringLiteral("Flashes if data is send")));
    EXPECT_EQ(lamp.toolTip(), QStringLiteral("Flashes if data is send"));
    lamp.setShowHint(false);
    EXPECT_TRUE(lamp.toolTip().isEmpty());
}

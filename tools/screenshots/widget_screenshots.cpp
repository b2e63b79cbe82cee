// Puts each widget of the widgets library on a private X screen and saves what the screen shows:
// the splash over a desktop, the About dialog, the four activity LEDs with every lamp style, and
// spin edits. Usage: widget_screenshots <output directory>
#include "widgets/gui/about_dialog.h"
#include "widgets/gui/kt_spin_edit.h"
#include "widgets/gui/led_indicator.h"
#include "widgets/gui/qt_dialog_service.h"
#include "widgets/gui/spin_button.h"
#include "widgets/gui/splash_window.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <cstdio>

namespace {

// A plain desktop with a few icons and a task bar, so that the splash's see-through edges show.
class Desktop : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient sky(0, 0, width(), height());
        sky.setColorAt(0, QColor(18, 60, 110));
        sky.setColorAt(1, QColor(40, 130, 150));
        p.fillRect(rect(), sky);
        p.setRenderHint(QPainter::Antialiasing);
        const QStringList names{QStringLiteral("Home"), QStringLiteral("Show"),
                                QStringLiteral("Clips"), QStringLiteral("Trash")};
        for (int i = 0; i < names.size(); ++i) {
            const QRect icon(24, 24 + i * 90, 48, 48);
            p.setBrush(QColor(230, 200, 90));
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(icon, 6, 6);
            p.setPen(Qt::white);
            p.drawText(QRect(8, icon.bottom() + 4, 80, 16), Qt::AlignCenter, names[i]);
        }
        for (int x = 0; x < width(); x += 160) {
            p.setPen(QPen(QColor(255, 255, 255, 40), 2));
            p.drawLine(x, 0, x + 400, height());
        }
        p.fillRect(QRect(0, height() - 32, width(), 32), QColor(20, 24, 30));
    }
};

bool saveScreen(const QRect& area, const QString& path) {
    QTest::qWait(300);
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .toImage();
    const bool ok = shot.save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

QWidget* ledRow(const QString& caption, TColor on, bool lit) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(caption));
    auto* lamp = new TLedIndicator(row);
    lamp->setBlink(false);
    lamp->setBordered(false);
    lamp->setTrueColor(on);
    lamp->setValue(lit);
    layout->addWidget(lamp);
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: widget_screenshots <output directory>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QtDialogService dialogs;
    bool ok = true;

    Desktop desktop;
    desktop.setWindowFlag(Qt::FramelessWindowHint);
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop.show();
    ok &= QTest::qWaitForWindowExposed(&desktop);
    QTest::qWait(200);

    {
        QPointer<TfSplash> splash = new TfSplash(dialogs, false);
        splash->show();
        ok &= QTest::qWaitForWindowExposed(splash.data());
        ok &= saveScreen(splash->geometry().adjusted(-40, -40, 40, 40),
                         out.filePath(QStringLiteral("splash.png")));
        // Three ticks in: the count has moved right and left no trace behind.
        for (int tick = 0; tick < 3; ++tick) {
            splash->CountDownTimerTimer();
        }
        ok &= saveScreen(splash->geometry().adjusted(-40, -40, 40, 40),
                         out.filePath(QStringLiteral("splash_counting.png")));
        delete splash.data();
    }
    {
        TfktWAbout about(dialogs);
        about.show();
        ok &= QTest::qWaitForWindowExposed(&about);
        ok &= saveScreen(about.frameGeometry().adjusted(-20, -20, 20, 20),
                         out.filePath(QStringLiteral("about.png")));
    }
    {
        QWidget panel;
        panel.setWindowFlag(Qt::FramelessWindowHint);
        auto* grid = new QGridLayout(&panel);
        auto* indicators = new QGroupBox(QStringLiteral("Master:"));
        auto* row = new QHBoxLayout(indicators);
        row->addWidget(ledRow(QStringLiteral("Send:"), colors::clLime, true));
        row->addWidget(ledRow(QStringLiteral("Sync:"), colors::clRed, true));
        row->addWidget(ledRow(QStringLiteral("Receive:"), colors::clRed, false));
        row->addWidget(ledRow(QStringLiteral("Thru:"), colors::clLime, false));
        grid->addWidget(indicators, 0, 0, 1, 12);
        const TLedIndicator::TLEDStyle styles[] = {
            TLedIndicator::LEDSmall,   TLedIndicator::LEDLarge,    TLedIndicator::LEDSqSmall,
            TLedIndicator::LEDSqLarge, TLedIndicator::LEDVertical, TLedIndicator::LEDHorizontal};
        int column = 0;
        for (const auto style : styles) {
            for (const bool bordered : {true, false}) {
                for (const bool lit : {true, false}) {
                    auto* lamp = new TLedIndicator;
                    lamp->setBlink(false);
                    lamp->setBordered(bordered);
                    lamp->setLEDStyle(style);
                    lamp->setTrueColor(column % 3 == 0 ? colors::clRed : colors::clLime);
                    lamp->setValue(lit);
                    grid->addWidget(lamp, 1 + (bordered ? 0 : 1) + (lit ? 0 : 2), column,
                                    Qt::AlignCenter);
                }
            }
            ++column;
        }
        panel.move(100, 100);
        panel.show();
        ok &= QTest::qWaitForWindowExposed(&panel);
        ok &= saveScreen(panel.frameGeometry().adjusted(-10, -10, 10, 10),
                         out.filePath(QStringLiteral("leds.png")));
    }
    {
        QWidget panel;
        panel.setWindowFlag(Qt::FramelessWindowHint);
        auto* layout = new QHBoxLayout(&panel);
        auto* frame = new TktSpinEdit(dialogs);
        frame->setMaxValue(2147483647);
        frame->setMaxLength(10);
        frame->setValue(1234);
        frame->setFixedWidth(58);
        auto* in = new TktSpinEdit(dialogs);
        in->setMaxValue(2147483647);
        in->setFixedWidth(58);
        auto* wide = new TktSpinEdit(dialogs);
        wide->setFixedWidth(120);
        wide->setValue(-2147483647 - 1);
        layout->addWidget(new QLabel(QStringLiteral("Frame:")));
        layout->addWidget(frame);
        layout->addWidget(new QLabel(QStringLiteral("In:")));
        layout->addWidget(in);
        layout->addWidget(wide);
        panel.move(100, 100);
        panel.show();
        ok &= QTest::qWaitForWindowExposed(&panel);
        QTest::mousePress(frame->Button()->findChild<QWidget*>(QStringLiteral("DownButton")),
                          Qt::LeftButton);
        ok &= saveScreen(panel.frameGeometry().adjusted(-10, -10, 10, 10),
                         out.filePath(QStringLiteral("spin.png")));
        QTest::mouseRelease(frame->Button()->findChild<QWidget*>(QStringLiteral("DownButton")),
                            Qt::LeftButton);
    }
    return ok ? 0 : 1;
}

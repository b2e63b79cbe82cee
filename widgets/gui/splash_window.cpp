#include "widgets/gui/splash_window.h"
#include "widgets/widgets_log.h"

#include "widgets/gui/splash_picture.h"
#include "widgets/gui/url_label.h"
#include "widgets/gui/widget_resources.h"
#include "widgets/product_info.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QScreen>
#include <QTimer>

namespace {

constexpr QColor kOrange(255, 128, 0);

QFont splashFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

// Places a label at its design position, moved left only as far as needed to keep its text inside
// the window: a substitute for the design font may run wider.
void placeInside(QWidget* label, QPoint at) {
    label->adjustSize();
    const int overflow = at.x() + label->width() - (TfSplash::kWidth - 4);
    label->move(overflow > 0 ? at.x() - overflow : at.x(), at.y());
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, int pixelSize,
                  const QColor& color) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setFont(splashFont(pixelSize));
    label->setAttribute(Qt::WA_TranslucentBackground);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    return label;
}

}  // namespace

TfSplash::TfSplash(DialogService& dialogs, bool master, QWidget* parent, const Wording& say)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      iSplash_(new QLabel(this)),
      lCount_(nullptr),
      lTitel_(nullptr),
      lTitel2_(nullptr),
      lUrl_(new TktUrlLabel(dialogs, this)),
      CountDownTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("fSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The background is never erased: the screen under the window stays until the picture is
    // painted over it.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(splashFont(11));
    setFixedSize(kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }

    iSplash_->setObjectName(QStringLiteral("iSplash"));
    iSplash_->setGeometry(0, 0, kWidth, kHeight);
    iSplash_->setAlignment(Qt::AlignCenter);

    const QColor windowText = resolveColor(colors::clWindowText, palette());
    lCount_ =
        makeLabel(this, QStringLiteral("lCount"), QString::number(kStartCount), 24, windowText);
    lCount_->setAlignment(Qt::AlignCenter);
    // 26 x 29 at (12, 42); wider, about the same centre, where the font needs more room for "10".
    const int countWidth = qMax(26, lCount_->fontMetrics().horizontalAdvance(lCount_->text()) + 4);
    lCount_->setGeometry(12 + 13 - countWidth / 2, 42, countWidth, 29);

    lTitel_ = makeLabel(this, QStringLiteral("lTitel"), product::kTitle, 24, kOrange);
    lTitel_->setAlignment(Qt::AlignCenter);
    placeInside(lTitel_, {300, 42});
    lTitel2_ = makeLabel(this, QStringLiteral("lTitel2"),
                         say(QStringLiteral("TxT_AboutSubtitle"), product::kSubtitle), 11, kOrange);
    placeInside(lTitel2_, {348, 72});

    lUrl_->setObjectName(QStringLiteral("lUrl"));
    lUrl_->setText(product::kWebAddress);
    lUrl_->setktWebPage(product::kWebAddress);
    lUrl_->setAttribute(Qt::WA_TranslucentBackground);
    placeInside(lUrl_, {444, 208});

    for (QWidget* closer : {static_cast<QWidget*>(iSplash_), static_cast<QWidget*>(lTitel_),
                            static_cast<QWidget*>(lTitel2_)}) {
        closer->installEventFilter(this);
    }

    CountDownTimer_->setObjectName(QStringLiteral("CountDownTimer"));
    CountDownTimer_->setInterval(master ? 2000 : 1000);
    connect(CountDownTimer_, &QTimer::timeout, this, &TfSplash::CountDownTimerTimer);
    CountDownTimer_->start();
}

void TfSplash::CountDownTimerTimer() {
    if (countdown_ > 0) {
        --countdown_;
        lCount_->setText(QString::number(countdown_));
        lCount_->move(lCount_->x() + kCountStepPx, lCount_->y());
        return;
    }
    CountDownTimer_->stop();
    close();
}

void TfSplash::showEvent(QShowEvent* event) {
    // Runs before the window is mapped, so the capture is the desktop behind it. The picture is
    // blended once from that capture: capturing again at later paints would take in the splash
    // itself, so its see-through edges would thicken and the moving count would leave ghosts.
    if (picture_.isNull()) {
        composePicture();
    }
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

void TfSplash::composePicture() {
    const QImage map = loadResourceBitmap(QStringLiteral("SPLASHMAP"));
    const QImage mask = loadResourceBitmap(QStringLiteral("SPLASHMASK"));
    QImage screenShot;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QPoint topLeft = geometry().topLeft();
        screenShot =
            screen->grabWindow(0, topLeft.x(), topLeft.y(), map.width(), map.height()).toImage();
    }
    if (screenShot.isNull()) {
        qCInfo(lcWidgets) << "no screen capture on this platform; blending over the window colour";
    }
    picture_ = blendSplashPicture(screenShot, map, mask, palette().color(QPalette::Window));
    iSplash_->setPixmap(QPixmap::fromImage(picture_));
}

void TfSplash::keyPressEvent(QKeyEvent* event) {
    // Every key that types a character (letters, digits, Space, Enter, Escape) closes; others,
    // such as Shift or the function keys, do not.
    if (!event->text().isEmpty()) {
        event->accept();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TfSplash::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

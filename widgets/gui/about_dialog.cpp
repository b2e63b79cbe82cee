#include "widgets/gui/about_dialog.h"

#include "widgets/gui/url_label.h"
#include "widgets/gui/widget_resources.h"
#include "widgets/product_info.h"

#include <gst/gst.h>
#include <QBitmap>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

// Everything sits at fixed places inside a 10-pixel margin.
constexpr int kMargin = 10;

QFont dialogFont(const QStringList& families, int pixelSize) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

const QStringList kSansFamilies{QStringLiteral("MS Sans Serif"),
                                QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
const QStringList kArialFamilies{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("DejaVu Sans")};

QLabel* placeLabel(QWidget* parent, const QString& name, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(at + QPoint(kMargin, kMargin));
    return label;
}

// A design text with key markers as a label without buddy shows it: "&&" is one ampersand, a
// single "&" marks a key and is not drawn.
QString shownText(const QString& designText) {
    QString shown;
    for (qsizetype i = 0; i < designText.size(); ++i) {
        if (designText[i] == QLatin1Char('&')) {
            if (i + 1 < designText.size() && designText[i + 1] == QLatin1Char('&')) {
                shown += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        shown += designText[i];
    }
    return shown;
}

// The logo's corners carry the exact colour of its top-left pixel; they are drawn transparent so
// the lock shape stands on the dialog's own face colour.
QPixmap logoPixmap() {
    const QImage logo = loadResourceBitmap(QStringLiteral("LOGO"));
    QPixmap pixmap = QPixmap::fromImage(logo);
    if (!logo.isNull()) {
        pixmap.setMask(QBitmap::fromImage(logo.createMaskFromColor(logo.pixel(0, 0))));
    }
    return pixmap;
}

}  // namespace

TfktWAbout::TfktWAbout(DialogService& dialogs, const Wording& say, QWidget* parent)
    : QDialog(parent),
      webLink_(new TktWURLLabel(dialogs, this)),
      mailLink_(new TktWURLLabel(dialogs, this)),
      mailFailure_(new QLabel(this)) {
    setObjectName(QStringLiteral("fktWAbout"));
    setWindowTitle(say("TxT_AboutTitle", "About"));
    setFont(dialogFont(kSansFamilies, 11));

    auto* ilogo = new QLabel(this);
    ilogo->setObjectName(QStringLiteral("ilogo"));
    ilogo->setAlignment(Qt::AlignCenter);
    ilogo->setGeometry(kMargin, kMargin, 150, 161);
    ilogo->setPixmap(logoPixmap());

    QLabel* title =
        placeLabel(this, QStringLiteral("lTitel1"), product::kTitleWithVersion, {160, 0});
    title->setFont(dialogFont(kArialFamilies, 24));
    title->adjustSize();

    QLabel* links =
        placeLabel(this, QStringLiteral("lTitel2"), shownText(product::kLinkLine), {160, 26});
    links->setFont(dialogFont(kArialFamilies, 19));
    QPalette black = links->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    links->setPalette(black);
    links->adjustSize();

    QLabel* subtitle =
        placeLabel(this, QStringLiteral("lUntertitel"),
                   say(QStringLiteral("TxT_AboutSubtitle"), product::kSubtitle), {160, 52});
    subtitle->adjustSize();

    webLink_->setObjectName(QStringLiteral("www"));
    webLink_->setText(product::kWebAddress);
    webLink_->setktWebPage(product::kWebAddress);
    mailLink_->setObjectName(QStringLiteral("mail"));
    mailLink_->setText(product::kSupportMail);
    mailLink_->setktWebPage(QStringLiteral("mailto:") + product::kSupportMail);
    for (TktWURLLabel* link : {webLink_, mailLink_}) {
        link->setFontColor(colors::clWindowText);
    }
    webLink_->move(kMargin + 176, kMargin + 104);
    mailLink_->move(kMargin + 176, kMargin + 120);
    webLink_->adjustSize();
    mailLink_->adjustSize();

    // What the program is, and what it runs on, in the room between the logo and the buttons.
    guint major = 0;
    guint minor = 0;
    guint micro = 0;
    guint nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    auto* description = placeLabel(
        this, QStringLiteral("lBeschreibung"),
        say("TxT_AboutText",
            "frameLock PRO plays video and audio in step on several computers. One Master "
            "starts, stops and positions every Slave over the network (TCP/IP) or over serial "
            "lines, and lines them all up again at each Sync point, so that every screen begins "
            "each part of the show on the same frame.\n\nBuilt with Qt %1 and GStreamer "
            "%2.%3.%4.")
            .arg(QString::fromLatin1(qVersion()))
            .arg(major)
            .arg(minor)
            .arg(micro),
        {0, 186});
    description->setWordWrap(true);
    description->setFixedWidth(409);
    description->adjustSize();
    // Hidden until a mail could not be started: the address, to be copied.
    mailFailure_->setObjectName(QStringLiteral("lNoMail"));
    mailFailure_->setWordWrap(true);
    mailFailure_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mailFailure_->setGeometry(kMargin, kMargin + 300, 409, 34);
    mailFailure_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    mailFailure_->hide();
    mailFailure_->setText(
        say("TxT_NoMailProgram", "No mail program opened the message. Please write to %1")
            .arg(product::kSupportMail));
    mailLink_->OnOpenFailed = [this](TktWURLLabel&) { mailFailure_->show(); };
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(kMargin, kMargin + 338, 409, 2);

    auto* bReport = new QPushButton(say("TxT_AboutReport", "&Send a Bug Report/Suggestion"), this);
    bReport->setObjectName(QStringLiteral("bReport"));
    bReport->setGeometry(kMargin + 149, kMargin + 351, 164, 25);
    connect(bReport, &QPushButton::clicked, this, &TfktWAbout::bReportClick);
    auto* bOK = new QPushButton(QStringLiteral("&OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setGeometry(kMargin + 317, kMargin + 351, 92, 25);
    bOK->setDefault(true);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);

    // Sizes itself to its contents plus the margin, centred on the screen (not on its parent).
    setFixedSize(childrenRect().bottomRight().x() + 1 + kMargin,
                 childrenRect().bottomRight().y() + 1 + kMargin);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TfktWAbout::bReportClick() {
    mailLink_->Click();
}

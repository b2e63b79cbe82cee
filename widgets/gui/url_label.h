#pragma once

#include "widgets/color_value.h"

#include <QLabel>
#include <functional>

class DialogService;

// A text label that opens its target (a web address, a "mailto:" address or a document name)
// with the desktop's "open" when clicked. Drawn blue and underlined with the pointing-hand cursor;
// an "&" in the text shows as an ampersand. User-interface thread only.
class TktWURLLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString ktWebPage READ ktWebPage WRITE setktWebPage)
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(int FontColor READ FontColor WRITE setFontColor)

public:
    explicit TktWURLLabel(DialogService& dialogs, QWidget* parent = nullptr);

    QString ktWebPage() const { return webPage_; }
    void setktWebPage(const QString& target) { webPage_ = target; }
    TColor FontColor() const { return fontColor_; }
    void setFontColor(TColor color);

    // What a click does: OnClick first, then the desktop's "open" of ktWebPage. Returns whether
    // the desktop took the target.
    bool Click();

    // The label's ordinary click notification, run before the target is opened.
    std::function<void(TktWURLLabel& sender)> OnClick;
    // The target did not open: the desktop did not take it, or its handler gave up later.
    std::function<void(TktWURLLabel& sender)> OnOpenFailed;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyFontColor();

    DialogService& dialogs_;
    QString webPage_;
    TColor fontColor_ = colors::clBlue;
    bool pressed_ = false;
};

// The hyperlink label of the splash window; it adds nothing.
class TktUrlLabel : public TktWURLLabel {
    Q_OBJECT

public:
    using TktWURLLabel::TktWURLLabel;
};

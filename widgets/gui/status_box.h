#pragma once

#include <QLabel>

// A read-only status text that is always read whole: it wraps at its width, its owner gives it
// the height its text needs (heightForWidth), and its tooltip holds the whole text above the
// control's hint. It takes the focus, so that Enter can act on it and its text can be selected
// and copied. User-interface thread only.
class TStatusBox : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)

public:
    explicit TStatusBox(QWidget* parent = nullptr);

    // Hides QLabel's: the tooltip follows the text.
    void setText(const QString& text);
    QString Hint() const { return hint_; }
    void setHint(const QString& hint);
    // The height that shows the whole text at the box's width, at least minimum.
    int neededHeight(int minimum) const;

private:
    void updateToolTip();

    QString hint_;
};

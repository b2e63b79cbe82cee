#pragma once

#include "storage/wording.h"

#include <QDialog>
#include <QImage>

class DialogService;
class QLabel;
class QTimer;
class TktUrlLabel;

// The start-up splash: a borderless, always-on-top picture window with see-through edges that
// counts down from 10 and closes itself at the eleventh tick of CountDownTimer (every 1000 ms, or
// every 2000 ms for a Master), or at once on a key that types a character or a double click on the
// picture or the titles. Closing destroys it (delete-on-close): hold it in a QPointer. The main
// window shows it modally and closes it early when a Sync command arrives.
// User-interface thread only.
class TfSplash : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 602;
    static constexpr int kHeight = 257;
    static constexpr int kStartCount = 10;
    static constexpr int kCountStepPx = 20;

    // Its subtitle in the wording given: the operator's language, English by default.
    TfSplash(DialogService& dialogs, bool master, QWidget* parent = nullptr,
             const Wording& say = Wording());

    int countdown() const { return countdown_; }
    // The blended picture on screen; null until the window is first shown.
    const QImage& picture() const { return picture_; }

    // One countdown step; at 0 the window closes.
    void CountDownTimerTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void composePicture();

    QLabel* iSplash_;
    QLabel* lCount_;
    QLabel* lTitel_;
    QLabel* lTitel2_;
    TktUrlLabel* lUrl_;
    QTimer* CountDownTimer_;
    int countdown_ = kStartCount;
    QImage picture_;
};

#pragma once

#include "storage/wording.h"

#include <QDialog>

class DialogService;
class QLabel;
class TktWURLLabel;

// The About dialog: logo, product title and subtitle, the maker's web and support-mail links, a
// button that starts a bug-report mail and OK. Created, shown modally and destroyed by the main
// window's About button. User-interface thread only.
class TfktWAbout : public QDialog {
    Q_OBJECT

public:
    // Its texts in the wording given: the operator's language, English by default.
    explicit TfktWAbout(DialogService& dialogs, const Wording& say = Wording(),
                        QWidget* parent = nullptr);

    TktWURLLabel* webLink() const { return webLink_; }
    TktWURLLabel* mailLink() const { return mailLink_; }

    // "Send a Bug Report/Suggestion": a new mail to the support address; the dialog stays open.
    // Where no mail program takes it, the dialog shows the address to write to.
    void bReportClick();

private:
    TktWURLLabel* webLink_;
    TktWURLLabel* mailLink_;
    QLabel* mailFailure_;
};

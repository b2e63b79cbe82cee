#pragma once

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
    explicit TfktWAbout(DialogService& dialogs, QWidget* parent = nullptr);

    TktWURLLabel* webLink() const { return webLink_; }
    TktWURLLabel* mailLink() const { return mailLink_; }

    // "Send a Bug Report/Suggestion": a new mail to the support address; the dialog stays open.
    // Where no mail program takes it, the dialog shows the address to write to.
    void bReportClick();
    // What the dialog says then; "%1" stands for the address.
    void setMailFailureText(const QString& text) { mailFailureText_ = text; }

private:
    void showMailFailure();

    TktWURLLabel* webLink_;
    TktWURLLabel* mailLink_;
    QLabel* mailFailure_;
    QString mailFailureText_ =
        QStringLiteral("No mail program opened the message. Please write to %1");
};

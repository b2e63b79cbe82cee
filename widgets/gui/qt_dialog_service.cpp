#include "widgets/gui/qt_dialog_service.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace {

QMessageBox::Icon iconFor(int flags) {
    switch (flags & MessageBoxFlags::IconMask) {
        case MessageBoxFlags::IconError:
            return QMessageBox::Critical;
        case MessageBoxFlags::IconQuestion:
            return QMessageBox::Question;
        case MessageBoxFlags::IconExclamation:
            return QMessageBox::Warning;
        case MessageBoxFlags::IconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int result;
};

QList<ButtonChoice> buttonsFor(int flags) {
    switch (flags & MessageBoxFlags::ButtonMask) {
        case MessageBoxFlags::OkCancel:
            return {{QMessageBox::Ok, MessageBoxResult::Ok},
                    {QMessageBox::Cancel, MessageBoxResult::Cancel}};
        case MessageBoxFlags::YesNoCancel:
            return {{QMessageBox::Yes, MessageBoxResult::Yes},
                    {QMessageBox::No, MessageBoxResult::No},
                    {QMessageBox::Cancel, MessageBoxResult::Cancel}};
        case MessageBoxFlags::YesNo:
            return {{QMessageBox::Yes, MessageBoxResult::Yes},
                    {QMessageBox::No, MessageBoxResult::No}};
        default:
            return {{QMessageBox::Ok, MessageBoxResult::Ok}};
    }
}

}  // namespace

int QtDialogService::messageBox(const QString& text, const QString& caption, int flags) {
    QMessageBox box(iconFor(flags), caption, text, QMessageBox::NoButton, parent_);
    const QList<ButtonChoice> choices = buttonsFor(flags);
    for (const ButtonChoice& choice : choices) {
        box.addButton(choice.button);
    }
    box.setDefaultButton(choices.front().button);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const ButtonChoice& choice : choices) {
        if (choice.button == pressed) {
            return choice.result;
        }
    }
    // Closed with Escape or the close box: the answer a Windows box gives for its cancel button.
    return choices.size() == 1 ? MessageBoxResult::Ok : choices.back().result;
}

int QtDialogService::showNotice(const QString& text, const QString& caption, int flags) {
    auto* box = new QMessageBox(iconFor(flags), caption, text, QMessageBox::Ok, parent_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    // Closed boxes delete themselves; their entries go with the next notice.
    notices_.removeIf([](const auto& entry) { return entry.value().isNull(); });
    notices_.insert(++lastNotice_, box);
    return lastNotice_;
}

void QtDialogService::closeNotice(int notice) {
    if (const QPointer<QMessageBox> box = notices_.take(notice)) {
        box->close();
    }
}

std::optional<QString> QtDialogService::openFile(const OpenFileRequest& request) {
    QFileDialog dialog(parent_, request.title, request.initialDirectory,
                       qtFileFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultExtension);
    dialog.setSizeGripEnabled(true);
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

bool QtDialogService::shellOpen(const QString& target, const std::function<void()>& failed) {
    const QUrl url =
        QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    // The desktop's opener is watched to its end: QDesktopServices only says that it started,
    // and an opener that finds no program (or a browser that refuses to run as root) tells
    // nobody but the standard error output.
    auto* opener = new QProcess(qApp);
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failed](int exitCode, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || exitCode != 0) && failed) {
                             failed();
                         }
                         opener->deleteLater();
                     });
    opener->start(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
    if (!opener->waitForStarted()) {
        opener->deleteLater();
        return false;
    }
    return true;
}

void QtDialogService::beep(BeepKind) {
    // The desktop offers one system sound; both kinds map onto it.
    QApplication::beep();
}

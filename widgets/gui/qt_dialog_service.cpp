#include "widgets/gui/qt_dialog_service.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
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

bool QtDialogService::shellOpen(const QString& target) {
    const QUrl url =
        QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    return QDesktopServices::openUrl(url);
}

void QtDialogService::beep(BeepKind) {
    // The desktop offers one system sound; both kinds map onto it.
    QApplication::beep();
}

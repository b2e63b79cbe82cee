#pragma once

#include "widgets/dialog_service.h"

#include <QHash>
#include <QPointer>

class QMessageBox;
class QWidget;

// The desktop's own dialogs. The parent may be null (then dialogs are centred on the screen).
class QtDialogService final : public DialogService {
public:
    explicit QtDialogService(QWidget* parent = nullptr) : parent_(parent) {}

    int messageBox(const QString& text, const QString& caption, int flags) override;
    int showNotice(const QString& text, const QString& caption, int flags) override;
    void closeNotice(int notice) override;
    std::optional<QString> openFile(const OpenFileRequest& request) override;
    bool shellOpen(const QString& target, const std::function<void()>& failed) override;
    void beep(BeepKind kind) override;

private:
    QWidget* parent_;
    QHash<int, QPointer<QMessageBox>> notices_;
    int lastNotice_ = 0;
};

#pragma once

#include "widgets/dialog_service.h"

class QWidget;

// The desktop's own dialogs. The parent may be null (then dialogs are centred on the screen).
class QtDialogService final : public DialogService {
public:
    explicit QtDialogService(QWidget* parent = nullptr) : parent_(parent) {}

    int messageBox(const QString& text, const QString& caption, int flags) override;
    std::optional<QString> openFile(const OpenFileRequest& request) override;
    bool shellOpen(const QString& target) override;
    void beep(BeepKind kind) override;

private:
    QWidget* parent_;
};

#pragma once

#include "widgets/dialog_service.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

// Dialog double: records every call and answers from queues set up by the test. With an empty
// queue, a message box answers with its first button and a file dialog is cancelled.
class RecordingDialogs final : public DialogService {
public:
    struct Message {
        QString text;
        QString caption;
        int flags = 0;
    };

    int messageBox(const QString& text, const QString& caption, int flags) override;
    std::optional<QString> openFile(const OpenFileRequest& request) override;
    bool shellOpen(const QString& target) override;
    void beep(BeepKind kind) override;

    std::vector<Message> messages;
    std::vector<OpenFileRequest> fileRequests;
    QStringList opened;
    std::vector<BeepKind> beeps;

    std::deque<int> messageAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    bool shellOpenResult = true;
    // Runs inside every message box, as a modal box's own event loop would run other work.
    std::function<void()> whileMessageShows;
};

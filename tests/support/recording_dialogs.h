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

    struct Notice {
        QString text;
        QString caption;
        int flags = 0;
        bool open = true;
    };

    int messageBox(const QString& text, const QString& caption, int flags) override;
    int showNotice(const QString& text, const QString& caption, int flags) override;
    void closeNotice(int notice) override;
    std::optional<QString> openFile(const OpenFileRequest& request) override;
    bool shellOpen(const QString& target, const std::function<void()>& failed) override;
    void beep(BeepKind kind) override;

    std::vector<Message> messages;
    // Numbered by their place here.
    std::vector<Notice> notices;
    std::vector<OpenFileRequest> fileRequests;
    QStringList opened;
    std::vector<BeepKind> beeps;

    std::deque<int> messageAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    bool shellOpenResult = true;
    // The failure handlers of the targets handed over, for the test to call as a handler that
    // gives up later would.
    std::vector<std::function<void()>> openFailures;
    // Runs inside every message box, as a modal box's own event loop would run other work.
    std::function<void()> whileMessageShows;
};

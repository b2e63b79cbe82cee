#include "support/recording_dialogs.h"

int RecordingDialogs::messageBox(const QString& text, const QString& caption, int flags) {
    messages.push_back({text, caption, flags});
    if (whileMessageShows) {
        whileMessageShows();
    }
    if (!messageAnswers.empty()) {
        const int answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    const int buttons = flags & MessageBoxFlags::ButtonMask;
    return buttons == MessageBoxFlags::YesNo || buttons == MessageBoxFlags::YesNoCancel
               ? MessageBoxResult::Yes
               : MessageBoxResult::Ok;
}

int RecordingDialogs::showNotice(const QString& text, const QString& caption, int flags) {
    notices.push_back({text, caption, flags, true});
    return static_cast<int>(notices.size()) - 1;
}

void RecordingDialogs::closeNotice(int notice) {
    if (notice >= 0 && notice < static_cast<int>(notices.size())) {
        notices[static_cast<std::size_t>(notice)].open = false;
    }
}

std::optional<QString> RecordingDialogs::openFile(const OpenFileRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    const bool chosen = fileAnswers.front().has_value();
    const QString path = fileAnswers.front().value_or(QString());
    fileAnswers.pop_front();
    return chosen ? std::optional<QString>(path) : std::nullopt;
}

bool RecordingDialogs::shellOpen(const QString& target, const std::function<void()>& failed) {
    opened << target;
    openFailures.push_back(failed);
    return shellOpenResult;
}

void RecordingDialogs::beep(BeepKind kind) {
    beeps.push_back(kind);
}

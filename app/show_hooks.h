#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// What the show controller tells the status side and asks of the operator's side. The window
// implements it; tests record it.
class ShowHooks {
public:
    virtual ~ShowHooks() = default;
    virtual void StatusAfterCommand(const QByteArray& command) = 0;
    virtual void StatusSegmentStarted(std::optional<std::int64_t> startFrameInFile) = 0;
    virtual void StatusLooped() = 0;
    virtual void StatusRestarted() = 0;
    virtual void StatusJoined(std::int64_t segmentStartInFile, std::int64_t startsInMs) = 0;
    virtual void PreflightCheck() = 0;
    // False when the language file was damaged and the program is ending.
    virtual bool SetLanguage(int index) = 0;
    // A message box by language keys; returns the button.
    virtual int ShowMessageByKey(const QString& messageKey, const QString& titleKey, int flags) = 0;
    // A command arrived: whatever waits for the Master's first word (the splash) is over.
    virtual void CommandArrived() = 0;
};

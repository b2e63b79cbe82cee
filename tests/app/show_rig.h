#pragma once

#include "app/show_controller.h"
#include "app/show_hooks.h"
#include "fake_media_service.h"
#include "media/graph_player.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

// What the controller told the status side and asked of the operator, in order.
class RecordingShowHooks final : public ShowHooks {
public:
    void StatusAfterCommand(const QByteArray&) override {}
    void StatusSegmentStarted(std::optional<std::int64_t>) override { calls << "segmentStarted"; }
    void StatusLooped() override { calls << "looped"; }
    void StatusRestarted() override { calls << "restarted"; }
    void StatusJoined(std::int64_t, std::int64_t) override { calls << "joined"; }
    void PreflightCheck() override { calls << "preflight"; }
    bool SetLanguage(int index) override {
        calls << QStringLiteral("language %1").arg(index);
        return true;
    }
    int ShowMessageByKey(const QString& messageKey, const QString&, int) override {
        calls << QStringLiteral("message ") + messageKey;
        return answer;
    }
    void CommandArrived() override { calls << "arrived"; }

    QStringList calls;
    int answer = 0;
};

// One instance of the show without a window: its controller on the player and the media double,
// with the commands it sends collected instead of put on a link. Its start is fired by the test
// (fireStart), not waited for.
class ShowRig : public QObject {
public:
    struct Settings {
        bool master = true;
        QStringList syncPoints;
        std::int32_t inPoint = 0;
        bool loop = true;
        std::int64_t duration = 1000;
    };
    explicit ShowRig(const Settings& settings);
    ~ShowRig() override;

    // The media reached the end of the current range.
    void complete();
    // The armed start comes now; false when none was armed.
    bool fireStart();
    // Received commands, each as it comes off a link.
    void feed(const QStringList& commands);
    // The commands sent since the last call.
    QStringList sent();
    // The calls that moved the media since the last call: what a Slave must repeat exactly.
    QStringList moves();

    std::shared_ptr<QStringList> mediaLog = std::make_shared<QStringList>();
    FakeMediaService* media = nullptr;
    std::unique_ptr<TGraphPlayer> player;
    QTimer startTimer;
    QTimer playTimer;
    QTimer testTimer;
    QTimer clockTimer;
    RecordingShowHooks hooks;
    std::unique_ptr<ShowController> show;
    int startsArmed = 0;

protected:
    bool event(QEvent* event) override;

private:
    QStringList sent_;
    qsizetype sentTaken_ = 0;
    qsizetype movesSeen_ = 0;
};

// The calls of a media log that move the media.
QStringList transport(const QStringList& log, qsizetype from = 0);

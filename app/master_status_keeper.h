#pragma once

#include "app/preflight.h"
#include "app/show_report.h"
#include "app/slave_status_board.h"
#include "app/status_line.h"
#include "app/status_words.h"
#include "app/watchdog_picture.h"
#include "net/host_log_budget.h"

#include <QByteArrayView>
#include <QObject>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QTimer;
class ShowController;
class ShowStatusModel;
struct ScreenStatus;
class TGraphPlayer;
class TSimpleTCPClient;
class TSimpleTCPServer;

// A Slave's name in the Master's list and log: its host and the port its connection comes from.
QString slaveName(const TSimpleTCPClient& slave);

// What a LAN Master keeps of its Slaves: what they reported, the show's snapshot built from it
// and its own screen, the lines drawn last, what each host may cost the log, the show report
// with every start, and its own picture's watch. No widgets; user-interface thread only.
class MasterStatusKeeper : public QObject {
    Q_OBJECT

public:
    // Health changes with time alone (a Slave that falls silent): the snapshot is built anew
    // this often.
    static constexpr int PollMs = 250;
    // Reports of many Slaves come in many turns of the event loop; the lines are redrawn at most
    // once per RefreshMs for all of them.
    static constexpr int RefreshMs = 100;
    // How long after its start the Master samples its running position, as a Slave does.
    static constexpr int SampleMs = 300;

    // The operator's switches as the controls show them.
    struct Switches {
        bool loop = false;
        bool fullScreen = false;
        bool locked = false;
    };
    // What the snapshot needs from around the show.
    struct Surroundings {
        std::function<bool()> closing;
        // The media's file name as the operator gave it.
        std::function<QString()> fileName;
        // The name this screen is listed by.
        std::function<QString()> screenName;
        std::function<Switches()> switches;
        // The Sync point the operator selected; -1: none.
        std::function<int()> selectedRow;
        // The language in use and its texts by key.
        std::function<int()> languageIndex;
        std::function<QString(const QString& key)> textByKey;
        QString version;
    };
    // The show checked at Start.
    struct Check {
        std::vector<InstanceMedia> instances;
        QStringList syncPoints;
        QStringList problems;
    };

    MasterStatusKeeper(TGraphPlayer& player, const ShowController& show, TSimpleTCPServer& server,
                       ShowStatusModel& model, const QString& reportPath, Surroundings around,
                       QObject* parent = nullptr);

    // The polls begin.
    void start();
    // A status frame a connection sent.
    void receive(TSimpleTCPClient* peer, QByteArrayView bytes);
    // The snapshot built anew and drawn; a connection that just came starts afresh.
    void refresh(TSimpleTCPClient* justConnected = nullptr);
    // A line about a Slave's link (framelock.net) or its state (framelock.sync), within what its
    // host may cost the log.
    void logAboutSlave(bool state, const QString& host, const QString& line);
    // A segment started; the start frame in the file is where the media stands unless given.
    void segmentStarted(std::optional<std::int64_t> startFrameInFile);
    // The instances and the show as they stand, with what does not fit; logged.
    Check check();
    // The words in the language in use.
    const StatusWords& words();

signals:
    // The connected Slaves' list entries and, for each, what more is known of its media.
    void slaveListChanged(const QStringList& entries, const QStringList& hints);

private:
    void refreshWords();
    ScreenStatus ownScreen();
    void render(const QList<TSimpleTCPClient*>& slaves);
    void flushLog();
    void recordSlaveStart(const TSimpleTCPClient& slave);
    void sample();

    TGraphPlayer& player_;
    const ShowController& show_;
    TSimpleTCPServer& server_;
    ShowStatusModel& model_;
    Surroundings around_;

    SlaveStatusBoard board_;
    ShowReport report_;
    QTimer* poll_;
    QTimer* refresh_;
    QTimer* sample_;
    QTimer* flushLog_;

    // The language the words were read for; -1: not yet read.
    int wordsLanguage_ = -1;
    StatusWords words_;
    // The log's lines, the list's entries and the labels of the Slaves as drawn last.
    QStringList shownLines_;
    QStringList shownEntries_;
    QStringList shownIds_;
    QStringList shownLabels_;
    // The Slaves' link lines and status lines, each a few a second per host at most; flushLog_
    // tells the counts.
    HostLogBudget linkLog_;
    HostLogBudget stateLog_;

    // The Master's own starts.
    ShowFacts facts_;
    // When each Slave that left the show left; its screen stays in the model as gone a while.
    std::map<QString, std::int64_t> goneSinceMs_;
    std::int64_t playSentMs_ = 0;
    std::int64_t startFrameInFile_ = 0;
    std::optional<std::int64_t> startFrame_;
    // The Master's own picture, watched as a Slave's is.
    PictureWatch picture_{SlaveStatusBoard::FrozenMs};
    bool pictureFrozen_ = false;
};

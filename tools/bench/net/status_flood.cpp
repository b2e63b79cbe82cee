// What a Slave that floods the Master with status reports costs the Master's receive path, run
// by hand:
//
//   status_flood [megabytes=100]
//
// Feeds the given amount of valid reports, in 64 KiB reads (the server's largest), once through
// the receive path every Master had before reports (the shared assembler and the command table,
// which ignores them) and once through that path plus the Master's status board. Prints the
// time per MB of each as median of five rounds, and their ratio.

#include "app/receive_assembler.h"
#include "app/slave_status_board.h"
#include "app/status_frame.h"
#include "app/sync_command.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class Ignoring final : public SyncCommandTarget {
public:
    void commandPlay() override {}
    void commandStop() override {}
    void commandRewind() override {}
    void commandRestart() override {}
    void commandFullScreenSetting(bool) override {}
    void commandFullScreen(bool) override {}
    void commandLanguage(int) override {}
    void commandLoop(bool) override {}
    void commandPosition(std::int64_t) override {}
    void commandClearList() override {}
    void commandListItem(std::int32_t) override {}
    void commandCueSegment(std::int32_t) override {}
    void commandPositionInSegment(std::int64_t) override {}
    void commandStartAt(std::int64_t) override {}
    void commandJoin(const JoinOrder&) override {}
    void commandRefused(QByteArrayView) override {}
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    StatusPlay play;
    play.state = PlayState::Playing;
    play.segment = 3;
    play.startFrame = 1200;
    play.startedAtMs = 1765000000400;
    QByteArray chunk;
    while (chunk.size() < 65536 - 128) {
        play.sentAtMs += 1;
        play.segment += 1;
        chunk += frameCommand(buildStatus(play));
    }
    const qint64 reads = megabytes * 1024 * 1024 / chunk.size();
    Ignoring target;
    std::vector<double> today;
    std::vector<double> withBoard;
    for (int round = 0; round < 5; ++round) {
        for (const bool board : {false, true}) {
            ReceiveAssembler assembler([&](const QByteArray& command) {
                if (!isStatusCommand(command)) {
                    dispatchSyncCommand(command, target);
                }
            });
            SlaveStatusBoard statusBoard;
            int connection = 0;
            QElapsedTimer clock;
            clock.start();
            for (qint64 i = 0; i < reads; ++i) {
                if (board) {
                    statusBoard.receive(&connection, chunk, i, i);
                }
                assembler.Receive(chunk);
            }
            const double msPerMb = static_cast<double>(clock.nsecsElapsed()) / 1e6 /
                                   (static_cast<double>(reads * chunk.size()) / 1048576.0);
            (board ? withBoard : today).push_back(msPerMb);
        }
    }
    const double a = median(today);
    const double b = median(withBoard);
    std::printf(
        "%lld MB of reports in 64 KiB reads: receive path %.2f ms/MB, with the status "
        "board %.2f ms/MB, ratio %.2f\n",
        static_cast<long long>(megabytes), a, b, b / a);
    return 0;
}

#include "app/relay_policy.h"

#include "app/sync_command.h"

#include <algorithm>
#include <array>

namespace {

struct Rule {
    const char* code;
    MasterRelay relay;
};

constexpr MasterRelay ActAndRelay{true, true};
constexpr MasterRelay ActOnly{true, false};
constexpr MasterRelay Ignore{false, false};

// The show's starts and stops, full screen, language and Loop reach every screen. The list, a
// place and the loop's restart stay with the Master: it sends its own list and place with every
// Start and its own restart at its Out point. The shared clock's orders are the Master's to give.
constexpr std::array Rules{
    Rule{SyncCode::Play, ActAndRelay},
    Rule{SyncCode::Stop, ActAndRelay},
    Rule{SyncCode::Rewind, ActAndRelay},
    Rule{SyncCode::CueSegment, ActAndRelay},
    Rule{SyncCode::FullScreenSettingOn, ActAndRelay},
    Rule{SyncCode::FullScreenSettingOff, ActAndRelay},
    Rule{SyncCode::FullScreenOn, ActAndRelay},
    Rule{SyncCode::FullScreenOff, ActAndRelay},
    Rule{SyncCode::English, ActAndRelay},
    Rule{SyncCode::German, ActAndRelay},
    Rule{SyncCode::LoopOn, ActAndRelay},
    Rule{SyncCode::LoopOff, ActAndRelay},
    Rule{SyncCode::Restart, ActOnly},
    Rule{SyncCode::Position, ActOnly},
    Rule{SyncCode::PositionInSegment, ActOnly},
    Rule{SyncCode::ClearList, ActOnly},
    Rule{SyncCode::ListItem, ActOnly},
    Rule{SyncCode::StartAt, Ignore},
    Rule{SyncCode::Join, Ignore},
};

}  // namespace

MasterRelay masterRelay(QByteArrayView command) {
    const QByteArrayView code = command.first(std::min<qsizetype>(command.size(), 4));
    const auto* rule = std::find_if(Rules.begin(), Rules.end(), [code](const Rule& r) {
        return code == QByteArrayView(r.code);
    });
    return rule == Rules.end() ? ActOnly : rule->relay;
}

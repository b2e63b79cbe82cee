#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

// The Sync commands: a four-character code, then an argument. Codes are exact and
// case-sensitive; "Pos " ends in a blank.
namespace SyncCode {
inline constexpr char Play[] = "Play";
inline constexpr char Stop[] = "Stop";
inline constexpr char Rewind[] = "Rewi";
inline constexpr char Restart[] = "ReSt";
inline constexpr char FullScreenSettingOn[] = "Ful1";
inline constexpr char FullScreenSettingOff[] = "Ful0";
inline constexpr char FullScreenOn[] = "FSc1";
inline constexpr char FullScreenOff[] = "FSc0";
inline constexpr char English[] = "LUSA";
inline constexpr char German[] = "LGer";
inline constexpr char LoopOn[] = "Rep1";
inline constexpr char LoopOff[] = "Rep0";
inline constexpr char Position[] = "Pos ";
inline constexpr char ClearList[] = "ClLi";
inline constexpr char ListItem[] = "SeLi";
inline constexpr char CueSegment[] = "DoNC";
inline constexpr char PositionInSegment[] = "PoSe";
// The shared clock's commands. An instance that does not know them ignores them and starts at
// "Play" as before; their arguments are decimal numbers and commas, so they never break an
// older receiver's framing.
inline constexpr char StartAt[] = "PlAt";
inline constexpr char Join[] = "Join";
}  // namespace SyncCode

// What a LAN Slave tells its Master about itself, on its own connection (app/status_frame.h
// builds and parses them). The codes begin with a small letter, so no code of the command table
// matches them: a Master without this back channel ignores the frames, and an instance that
// receives one treats it as noise.
namespace StatusCode {
inline constexpr char Media[] = "sInf";
inline constexpr char Play[] = "sSta";
inline constexpr char Error[] = "sErr";
}  // namespace StatusCode

// To a Slave joining while the show plays: the segment, a frame (from the In point) and the time
// on the shared clock, in ns, at which that frame appeared.
struct JoinOrder {
    std::int32_t segment = 0;
    std::int64_t frameFromIn = 0;
    std::int64_t shownAtNs = 0;
    bool operator==(const JoinOrder&) const = default;
};

// The commands as the Master sends them, one builder per code of the table below. Numbers go
// out as decimal text; a list item goes out as the list holds it.
namespace SyncCommand {
QByteArray play();
QByteArray stop();
QByteArray rewind();
QByteArray restart();
QByteArray fullScreenSetting(bool on);
QByteArray fullScreen(bool on);
// 0: English, 1: German.
QByteArray language(int index);
QByteArray loop(bool on);
QByteArray position(std::int64_t offsetFromIn);
QByteArray clearList();
QByteArray listItem(QByteArrayView item);
QByteArray cueSegment(std::int32_t index);
// Sent after "Pos " with the same offset when the Master stands within the range of the segment
// it cued: the receiver keeps that segment's end instead of playing to the end of the media.
QByteArray positionInSegment(std::int64_t offsetFromIn);
// The time on the shared clock, in ns, at which the frame after the cued one appears.
QByteArray startAt(std::int64_t sharedTimeNs);
QByteArray join(const JoinOrder& order);
}  // namespace SyncCommand

// "_" + command + "*": the bytes that go on the wire. Nothing is escaped; the Master's arguments
// are decimal numbers or empty.
QByteArray frameCommand(QByteArrayView command);

// A whole decimal number: an optional "-", then digits only, within the type's range. Anything
// else (blanks, "+", letters, an empty text, overflow) is no number.
std::optional<std::int64_t> parseDecimal64(QByteArrayView text);
std::optional<std::int32_t> parseDecimal32(QByteArrayView text);
// "segment,frame,time", each a whole decimal number.
std::optional<JoinOrder> parseJoinOrder(QByteArrayView text);

// What a received command makes an instance do. Each receiver operation is one call; the
// dispatcher has already checked the arguments.
class SyncCommandTarget {
public:
    virtual ~SyncCommandTarget() = default;
    virtual void commandPlay() = 0;
    virtual void commandStop() = 0;
    virtual void commandRewind() = 0;
    virtual void commandRestart() = 0;
    virtual void commandFullScreenSetting(bool on) = 0;
    virtual void commandFullScreen(bool on) = 0;
    virtual void commandLanguage(int index) = 0;
    virtual void commandLoop(bool on) = 0;
    // The Master's position as an offset from its In point.
    virtual void commandPosition(std::int64_t offsetFromIn) = 0;
    virtual void commandClearList() = 0;
    virtual void commandListItem(std::int32_t syncPoint) = 0;
    virtual void commandCueSegment(std::int32_t index) = 0;
    // The Master's place within the segment it cued, as an offset from its In point.
    virtual void commandPositionInSegment(std::int64_t offsetFromIn) = 0;
    virtual void commandStartAt(std::int64_t sharedTimeNs) = 0;
    virtual void commandJoin(const JoinOrder& order) = 0;
    // A command that was recognised but whose argument is not a number of the right kind: it
    // does nothing, and later commands run as usual.
    virtual void commandRefused(QByteArrayView command) = 0;
    // Called just before a command whose code and argument are good runs.
    virtual void commandAccepted(QByteArrayView command) { Q_UNUSED(command); }
};

// Splits the command into its code (the first four characters) and argument, finds the code in
// the command table and runs it on target. Returns false for a code that is not in the table.
bool dispatchSyncCommand(QByteArrayView command, SyncCommandTarget& target);

// Who the Master is: sent to every new connection before anything else. An older Slave takes it
// for an unknown command, notes it once as it notes any, and goes on; the texts are
// percent-encoded (UTF-8), so they never hold a "_" or "*" that would break a receiver's framing.
namespace SyncCode {
inline constexpr char Hello[] = "Helo";
}  // namespace SyncCode

struct MasterHello {
    // Longest version and show name that go out; longer ones are cut there.
    static constexpr qsizetype MaxTextLength = 64;
    QString version;
    // Empty: the show has no name.
    QString showName;
    bool operator==(const MasterHello&) const = default;
};

namespace SyncCommand {
QByteArray hello(const MasterHello& hello);
}  // namespace SyncCommand

// The whole command; none when it is no hello or its texts are not sound.
std::optional<MasterHello> parseHello(QByteArrayView command);
// Whether a Slave of show `mine` may follow a Master of show `theirs`: yes when either has no
// name, or both have the same one (blanks around it and the letters' case aside).
bool sameShow(const QString& mine, const QString& theirs);

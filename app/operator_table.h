#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// What an operation takes besides its name.
enum class OperatorArgument {
    None,
    // A segment's number, 1 for the first, as the Sync point list counts them for the operator.
    Segment,
    // A frame, counted from the In point.
    Frame,
    // A signed count of frames.
    Steps,
    // 0 or 1.
    OnOff,
    // A language's index, 0 English, 1 German.
    Language,
};

// The operator's operations by name, one entry each: the keys, buttons and menus of the window
// and every remote surface run them through here, so that an operation does the same whoever
// asks for it and is refused the same way where the role or the lock forbids it.
class OperatorTable {
public:
    struct Entry {
        // Lower-case, stable: remote surfaces put it on the wire ("start", "cue", "goto").
        QString name;
        OperatorArgument argument = OperatorArgument::None;
        // Whether the operation may run now (role, lock, media); unset: always.
        std::function<bool()> allowed;
        // Runs it; the argument is 0 for an operation without one.
        std::function<void(std::int64_t argument)> run;
    };

    enum class Outcome { Done, Unknown, MissingArgument, BadArgument, NotAllowed };
    struct Result {
        Outcome outcome = Outcome::Done;
        // Why it was not done, in English, for a log line or a remote caller; empty when done.
        QString reason;
        bool done() const { return outcome == Outcome::Done; }
    };

    // A name already in the table is replaced.
    void add(Entry entry);
    const std::vector<Entry>& entries() const { return entries_; }
    const Entry* find(const QString& name) const;
    QStringList names() const;
    bool allowed(const QString& name) const;

    // Runs the operation when it exists, has the argument it needs (one out of range for its
    // kind is bad: OnOff other than 0 or 1, Segment below 1, Language other than 0 or 1) and
    // is allowed now.
    Result run(const QString& name, std::optional<std::int64_t> argument = std::nullopt) const;

private:
    std::vector<Entry> entries_;
};

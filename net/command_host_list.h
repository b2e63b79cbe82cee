#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// The peers whose bytes a Master passes on to its owner, as the operator writes them in the
// settings file: empty for every peer (a remote control or a Slave may command the show), "none"
// for no peer, or dotted IPv4 addresses separated by commas, semicolons or blanks. An entry that
// is no address is left out; a list of nothing but such entries admits no peer, since its writer
// meant to restrict.
class CommandHostList {
public:
    CommandHostList() = default;
    explicit CommandHostList(const QString& text);

    bool admits(const QString& dottedAddress) const;
    bool admitsEveryone() const { return everyone_; }
    // The entries that were left out, for the log.
    const QStringList& unreadable() const { return unreadable_; }

private:
    bool everyone_ = true;
    std::vector<std::uint32_t> addresses_;
    QStringList unreadable_;
};

#include "app/operator_table.h"

#include <algorithm>

void OperatorTable::add(Entry entry) {
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& e) { return e.name == entry.name; });
    if (found != entries_.end())
        *found = std::move(entry);
    else
        entries_.push_back(std::move(entry));
}

const OperatorTable::Entry* OperatorTable::find(const QString& name) const {
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& e) { return e.name == name; });
    return found == entries_.end() ? nullptr : &*found;
}

QStringList OperatorTable::names() const {
    QStringList names;
    for (const Entry& entry : entries_)
        names << entry.name;
    return names;
}

bool OperatorTable::allowed(const QString& name) const {
    const Entry* entry = find(name);
    return entry && (!entry->allowed || entry->allowed());
}

namespace {

bool argumentFits(OperatorArgument kind, std::int64_t value) {
    switch (kind) {
        case OperatorArgument::OnOff:
        case OperatorArgument::Language:
            return value == 0 || value == 1;
        case OperatorArgument::Segment:
            return value >= 1;
        case OperatorArgument::Frame:
            return value >= 0;
        case OperatorArgument::None:
        case OperatorArgument::Steps:
            return true;
    }
    return false;
}

}  // namespace

OperatorTable::Result OperatorTable::run(const QString& name,
                                         std::optional<std::int64_t> argument) const {
    const Entry* entry = find(name);
    if (!entry)
        return {Outcome::Unknown, QStringLiteral("no operation \"%1\"").arg(name)};
    const bool needsArgument = entry->argument != OperatorArgument::None;
    if (needsArgument && !argument)
        return {Outcome::MissingArgument, QStringLiteral("\"%1\" needs an argument").arg(name)};
    if (needsArgument && !argumentFits(entry->argument, *argument))
        return {Outcome::BadArgument,
                QStringLiteral("\"%1\" cannot take %2").arg(name).arg(*argument)};
    if (entry->allowed && !entry->allowed())
        return {Outcome::NotAllowed,
                QStringLiteral("\"%1\" is not allowed now (role or lock)").arg(name)};
    if (entry->run)
        entry->run(needsArgument ? *argument : 0);
    return {};
}

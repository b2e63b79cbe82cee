#include "net/command_host_list.h"

#include <arpa/inet.h>
#include <QRegularExpression>
#include <algorithm>

namespace {

bool parseIPv4(const QString& text, std::uint32_t& address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.toLatin1().constData(), &parsed) != 1) {
        return false;
    }
    address = parsed.s_addr;
    return true;
}

}  // namespace

CommandHostList::CommandHostList(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return;
    }
    everyone_ = false;
    if (trimmed.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0) {
        return;
    }
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    for (const QString& entry : trimmed.split(separators, Qt::SkipEmptyParts)) {
        std::uint32_t address = 0;
        if (parseIPv4(entry, address)) {
            addresses_.push_back(address);
        } else {
            unreadable_.append(entry);
        }
    }
}

bool CommandHostList::admits(const QString& dottedAddress) const {
    if (everyone_) {
        return true;
    }
    std::uint32_t address = 0;
    return parseIPv4(dottedAddress, address) &&
           std::find(addresses_.begin(), addresses_.end(), address) != addresses_.end();
}

#pragma once

#include "e2e/held_link.h"
#include "e2e/show_instance.h"

#include <QRect>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A Master with Auto Start and a Slave that reaches it through `link` only, while its shared
// clock goes to the Master directly: it has settled before the Slave is let in. Their video
// windows stand side by side where the screen is read.
struct JoinShow {
    JoinShow(const QString& clip, const QStringList& syncPoints, int syncTimeMs);
    // The windows are up, the Slave's clock has settled and the show has started.
    std::optional<LogLine> ready() const;
    std::string logs() const;
    // How far the Slave's picture is behind the Master's, sample by sample.
    std::vector<std::int64_t> lags(int samples) const;

    std::unique_ptr<HeldLink> link;
    std::unique_ptr<ShowInstance> master;
    std::unique_ptr<ShowInstance> slave;
    std::vector<QRect> windows;
};

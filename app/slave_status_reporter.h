#pragma once

#include "app/status_frame.h"

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

// Decides what a Slave sends its Master: each report only when it differs from the one sent
// last on this connection, so a Slave that stands still sends nothing.
class StatusReporter {
public:
    // The reports (command texts) that changed; they count as sent.
    std::vector<QByteArray> changes(const StatusMedia& media, const StatusPlay& play,
                                    const StatusError& error);
    // A new connection: everything is sent again.
    void reset();

private:
    std::optional<StatusMedia> media_;
    std::optional<StatusPlay> play_;
    std::optional<StatusError> error_;
};

// When a running picture started, on the wall clock: a sample taken at sampleMs that stood
// framesPlayed frames past the start, at the given rate. Nothing for an unknown rate.
std::optional<std::int64_t> pictureStartMs(std::int64_t sampleMs, std::int64_t framesPlayed,
                                           std::int64_t rateNumerator,
                                           std::int64_t rateDenominator);

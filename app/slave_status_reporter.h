#pragma once

#include "app/status_frame.h"

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

// Decides what a Slave sends its Master: each report only when it differs from the one sent
// last on this connection, and the heartbeat whenever it is due.
class StatusReporter {
public:
    // A Slave asks at least every 250 ms; a beat due every 750 ms then leaves no gap over a
    // second.
    static constexpr std::int64_t BeatEveryMs = 750;

    // The reports (command texts) that changed; they count as sent.
    std::vector<QByteArray> changes(const StatusMedia& media, const StatusPlay& play,
                                    const StatusError& error);
    // The heartbeat's command text when one is due at nowMs (a monotonic clock); it counts as
    // sent. It tells the place last reported, not a newer one (a start is told once its time is
    // known), on the clock of now.
    std::optional<QByteArray> beat(StatusBeat beat, std::int64_t nowMs);
    // A new connection: everything is sent again, the heartbeat at once.
    void reset();

private:
    std::optional<StatusMedia> media_;
    std::optional<StatusPlay> play_;
    std::optional<StatusError> error_;
    std::optional<std::int64_t> beatAtMs_;
};

// When a running picture started, on the wall clock: a sample taken at sampleMs that stood
// framesPlayed frames past the start, at the given rate. Nothing for an unknown rate.
std::optional<std::int64_t> pictureStartMs(std::int64_t sampleMs, std::int64_t framesPlayed,
                                           std::int64_t rateNumerator,
                                           std::int64_t rateDenominator);

#pragma once

#include <QtGlobal>

// What one host may cost the remote surfaces. A browser on a dashboard makes a handful of
// requests a second and a show controller a few more; a flood beyond these is refused, not
// queued. Connections are bounded per host as the command port bounds them: more from the
// Master's own machine, where tests and benchmarks open many.
struct RemoteLimits {
    int connectionsPerHost = 32;
    int connectionsFromOwnMachine = 256;
    // Request line and headers together.
    qsizetype maxHeadBytes = 8 * 1024;
    qsizetype maxBodyBytes = 16 * 1024;
    int requestsPerSecondPerHost = 50;
    // Live streams open at once, over all hosts.
    int streams = 32;
    // A stream's incoming message (nothing but pings is expected).
    qint64 maxStreamMessageBytes = 1024;
    // What may wait to be sent to one stream before further messages to it are skipped.
    qint64 maxStreamBacklogBytes = 1024 * 1024;
    // OSC clients that asked for state updates.
    int oscSubscribers = 16;
};

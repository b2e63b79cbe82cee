#pragma once

#include <QString>
#include <optional>

// The one-line state a service manager shows for the instance ("systemctl --user status"),
// e.g. "Master · segment 3 ▶ · 2 Slaves".
struct InstanceState {
    bool master = true;
    // Counted from 1; 0 before the first cue.
    int segment = 0;
    bool playing = false;
    // The Slaves linked to a Master over the LAN; nothing where it cannot know (a serial line).
    std::optional<int> slaves;
};

QString watchdogStatusLine(const InstanceState& state);

#pragma once

#include <QByteArrayView>

// What a Master does with a command it receives (from a remote control, or any host it obeys):
// whether it acts on it, and whether it also passes it on to its Slaves, so that one frame
// moves every screen. A Slave acts on every command and relays nothing here (the serial chain
// repeats bytes before they are read).
struct MasterRelay {
    bool acts = true;
    bool relays = false;
};

// By the command's code (its first four characters); a code not in the table is acted on (the
// dispatcher refuses it) and not relayed.
MasterRelay masterRelay(QByteArrayView command);

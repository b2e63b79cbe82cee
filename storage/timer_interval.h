#pragma once

#include <QtGlobal>

class QTimer;

// On the platform the settings file comes from, a timer whose interval is 0 does not run. A
// QTimer with interval 0 fires on every pass of the event loop instead, so a hand-edited
// settings file ("ClientStatusTimer_Interval=2s" reads as 0) would make a Slave reconnect and
// beep in a tight loop.
//
// Sets the timer's interval, a negative one as 0, and keeps a timer whose interval is 0 from
// running: started, it stops at its first tick without firing timeout(). A later positive
// interval makes it an ordinary timer again. An interval equal to the current one changes
// nothing (setInterval would restart a running timer). User-interface thread only.
void setTimerInterval(QTimer& timer, qint64 milliseconds);

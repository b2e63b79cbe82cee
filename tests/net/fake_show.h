#pragma once

#include "app/operator_table.h"
#include "app/show_status.h"

#include <QStringList>

// A show for the remote layer without a window: an operator table whose operations record what
// they were asked ("start", "cue 2"), and a status model the test sets. "step" is never allowed.
struct FakeShow {
    FakeShow();

    // The Master and two Slaves, all well, the second still starting.
    static ShowSnapshot threeScreens();

    OperatorTable operators;
    ShowStatusModel status;
    QStringList ran;
};

#pragma once

#include "storage/wording.h"

#include <QString>

// The operator's language before the main window has read its settings (a box at start-up):
// the one the settings file keeps. 1 (German) when "sbGerman_Down" is True and "sbUSA_Down" is
// not, as the window's exclusive language buttons load them; 0 (English) otherwise, also for a
// missing file. Reads, never writes.
int storedLanguageIndex(const QString& iniPath);

// Texts in that language from the language files in programDir (with or without its trailing
// "/"), which also holds "frameLock.ini"; Qt's own buttons follow while the wording lives.
Wording storedOperatorWording(const QString& programDir);

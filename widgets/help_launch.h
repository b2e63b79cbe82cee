#pragma once

#include "widgets/dialog_service.h"

#include <QString>
#include <functional>

// Looks a text up by its language key ("TxT_WhereisFile"); the main window passes its language
// component's TextByKey.
using TextLookup = std::function<QString(const QString& key)>;

struct LocatedFile {
    bool found = false;
    QString name;
};

// The file itself when it exists; otherwise the operator is asked for it with an open-file
// dialog titled `title`, with the name preset and the choice of files of the same extension or of
// all files. A cancelled dialog gives the given name, not found.
LocatedFile LocateFile(DialogService& dialogs, const QString& title, const QString& fileName);

// Hands a document, web address or mail address to the desktop's "open"; the result is not looked
// at: a target that cannot be opened shows nothing.
void OpenDocument(DialogService& dialogs, const QString& document);

// "help.htm" for English, "dhelp.htm" for German.
QString helpPageName(bool english);

// The main window's Help: the page for the chosen language beside the program, or wherever the
// operator points to, opened with the desktop's viewer. Nothing is remembered between calls.
void LaunchHelp(DialogService& dialogs, const TextLookup& textByKey, bool english,
                const QString& programDirectory);

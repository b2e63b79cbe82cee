#pragma once

#include "storage/wording.h"
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
// all files, named in the wording given. A cancelled dialog gives the given name, not found.
LocatedFile LocateFile(DialogService& dialogs, const QString& title, const QString& fileName,
                       const Wording& say = Wording());

// Hands a document, web address or mail address to the desktop's "open"; failed is called when it
// does not open (at once, or when the desktop's handler gives up later).
void OpenDocument(DialogService& dialogs, const QString& document,
                  const std::function<void()>& failed);

// "help.htm" for English, "dhelp.htm" for German.
QString helpPageName(bool english);

// The main window's Help: the page for the chosen language beside the program, or wherever the
// operator points to, opened with the desktop's viewer; failed gets the page's name when no
// viewer shows it. Nothing is remembered between calls.
void LaunchHelp(DialogService& dialogs, const TextLookup& textByKey, bool english,
                const QString& programDirectory,
                const std::function<void(const QString& page)>& failed);

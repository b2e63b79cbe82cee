#pragma once

#include "storage/profile_document.h"

#include <QString>

// Reads and writes whole profile files. Nothing stays open between the two calls, so another
// program may edit the file in the meantime.

// A file that does not exist or cannot be read reads as empty, as the platform's profile
// reader does.
ProfileDocument readProfileFile(const QString& path);

// Writes the document to a temporary file in the same directory, syncs it to the disk and renames
// it over the old one, then syncs the directory, so a crash, a full disk or a refused write never
// leaves a damaged, half-written or empty file. A write, sync or close that fails leaves the
// previous file untouched and removes the temporary one; the reason is put into *error. A
// symbolic link is followed: the file it leads to is replaced.
// A file that is writable in a directory that is not (a system-wide install) leaves no room for
// the temporary file; in exactly that case the file is rewritten where it stands, which a crash
// during the write can leave damaged.
bool writeProfileFile(const QString& path, const ProfileDocument& document, QString* error);

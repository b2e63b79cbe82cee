#pragma once

#include <QString>
#include <optional>

// Why the settings file at `path` could not be written when the program ends, found out without
// writing anything: the system's reason ("Permission denied", "Read-only file system"), or
// nothing when a write would be allowed. A write replaces the file through a new one beside it,
// or, in a directory that refuses new files, overwrites the file where it is.
std::optional<QString> settingsWriteProblem(const QString& path);

#pragma once

#include <QString>

// What tells that a file changed (restored, copied anew, its rights mended): its size and its
// times; nothing for a file that is not there.
QString fileStamp(const QString& path);

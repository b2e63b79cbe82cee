#pragma once

#include <QString>
#include <functional>

// The short words of the Slaves' status lines and of the check at Start. Each comes from the
// language file's messages by its key; a file that lacks the key keeps the English word.
struct StatusWords {
    QString segment = QStringLiteral("seg");
    QString cued = QStringLiteral("cued");
    QString late = QStringLiteral("late");
    QString stillCueing = QStringLiteral("still cueing");
    QString noMedia = QStringLiteral("no media");
    QString stopped = QStringLiteral("stopped");
    QString ended = QStringLiteral("ended");
    QString tooShort = QStringLiteral("file too short for Sync point");
    QString inOutside = QStringLiteral("In point past the end of the file");
    QString rate = QStringLiteral("fps");
    QString frames = QStringLiteral("frames");
    QString master = QStringLiteral("Master");
    QString checkFailed = QStringLiteral("Check at Start:");

    // textByKey returns the key itself for a key the file lacks.
    static StatusWords fromLanguage(const std::function<QString(const QString&)>& textByKey);
};

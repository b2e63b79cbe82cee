#pragma once

#include <QString>
#include <functional>

class Wording;

// The short words of the Slaves' status lines and of the check at Start. Each comes from the
// language file's messages by its key; a file that lacks the key keeps the English word. The
// default words are the English ones, which the event log and the show report use.
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
    QString notResponding = QStringLiteral("not responding");
    QString frozen = QStringLiteral("frozen");
    // Begins a Slave's report of a media file it cannot open; the Slave reports it in English,
    // and the Master shows it in its own language.
    QString mediaFailed = QStringLiteral("cannot play:");

    // textByKey returns the key itself for a key the file lacks.
    static StatusWords fromLanguage(const std::function<QString(const QString&)>& textByKey);
    static StatusWords fromWording(const Wording& say);
};

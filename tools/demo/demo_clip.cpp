#include "tools/demo/demo_clip.h"

#include "tools/clipgen/clip_generator.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <stdexcept>

Q_LOGGING_CATEGORY(lcDemo, "framelock.demo")

QString ensureDemoClip() {
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString path = directory + QStringLiteral("/demo-640x360-25fps.avi");
    if (QFile::exists(path)) {
        return path;
    }
    if (!QDir().mkpath(directory)) {
        qCWarning(lcDemo) << "cannot create" << directory;
        return {};
    }
    ClipSettings clip;
    clip.format = ClipFormat::MjpegAvi;
    clip.width = 640;
    clip.height = 360;
    clip.frames = 500;
    // Written under another name first, so an interrupted run never leaves half a clip behind
    // that a later start would take for the finished one.
    const QString partial = path + QStringLiteral(".part");
    try {
        generateClip(clip, partial.toStdString());
    } catch (const std::runtime_error& error) {
        qCWarning(lcDemo) << "cannot make the demo clip" << path << ":" << error.what();
        QFile::remove(partial);
        return {};
    }
    if (!QFile::rename(partial, path)) {
        qCWarning(lcDemo) << "cannot move the demo clip to" << path;
        QFile::remove(partial);
        return {};
    }
    return path;
}

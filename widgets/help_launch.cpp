#include "widgets/help_launch.h"

#include <QDir>
#include <QFileInfo>

LocatedFile LocateFile(DialogService& dialogs, const QString& title, const QString& fileName,
                       const Wording& say) {
    const QFileInfo info(fileName);
    if (info.exists()) {
        return {true, fileName};
    }
    const QString suffix = info.suffix();
    const QString ext = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    OpenFileRequest request;
    request.title = title;
    request.filter = say("TxT_FileFilter", "%1 Files (*%1)|*%1|All Files (*.*)|*.*").arg(ext);
    request.defaultExtension = suffix;
    request.initialDirectory = info.absolutePath();
    request.fileName = info.fileName();
    request.mustExist = true;
    if (const auto chosen = dialogs.openFile(request)) {
        return {true, *chosen};
    }
    return {false, fileName};
}

void OpenDocument(DialogService& dialogs, const QString& document,
                  const std::function<void()>& failed) {
    // The whole name is handed over: a path in a deep directory must not be cut short.
    if (!dialogs.shellOpen(document, failed) && failed) {
        failed();
    }
}

QString helpPageName(bool english) {
    return english ? QStringLiteral("help.htm") : QStringLiteral("dhelp.htm");
}

void LaunchHelp(DialogService& dialogs, const TextLookup& textByKey, bool english,
                const QString& programDirectory,
                const std::function<void(const QString& page)>& failed) {
    const QString page = helpPageName(english);
    const QString title = textByKey(QStringLiteral("TxT_WhereisFile")) + QLatin1Char(' ') + page;
    const QString expected = QDir(programDirectory).filePath(page);
    const LocatedFile located = LocateFile(dialogs, title, expected, Wording(textByKey));
    if (located.found) {
        OpenDocument(dialogs, located.name, [failed, name = located.name] {
            if (failed) {
                failed(name);
            }
        });
    }
}

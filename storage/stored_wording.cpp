#include "storage/stored_wording.h"

#include "storage/kt_language.h"
#include "storage/profile_file.h"

#include <memory>

namespace {

bool isTrue(const ProfileDocument& settings, QByteArrayView key) {
    const QByteArray value = settings.readString("System", key, {}).trimmed();
    return value.compare("True", Qt::CaseInsensitive) == 0;
}

}  // namespace

int storedLanguageIndex(const QString& iniPath) {
    const ProfileDocument settings = readProfileFile(iniPath);
    return isTrue(settings, "sbGerman_Down") && !isTrue(settings, "sbUSA_Down") ? 1 : 0;
}

Wording storedOperatorWording(const QString& programDir) {
    const QString dir = programDir.endsWith(u'/') ? programDir : programDir + u'/';
    auto lang = std::make_shared<TktLanguage>();
    lang->setProgramDir(dir);
    lang->ApplyLanguage(nullptr, storedLanguageIndex(dir + QStringLiteral("frameLock.ini")));
    return Wording([lang](const QString& key) { return lang->TextByKey(key); });
}

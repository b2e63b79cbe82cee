#include "storage/kt_wlanguage.h"
#include "storage/storage_log.h"

#include "storage/profile_file.h"
#include "storage/property_lookup.h"
#include "storage/windows1252.h"
#include "widgets/dialog_service.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QStringList>
#include <QThread>
#include <QTranslator>
#include <algorithm>
#include <cstdlib>

namespace {

// "~~" stands for a line break in every value; Qt's line break is "\n".
QString languageText(QByteArrayView bytes) {
    return decodeWindows1252(bytes).replace(QStringLiteral("~~"), QStringLiteral("\n"));
}

QStringList itemLines(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    QStringList lines = text.split(u'\n');
    if (lines.size() > 1 && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

bool writeItems(QObject* target, const QString& value) {
    const std::optional<PropertyRef> items = findProperty(target, u"Items");
    return items && items->property.metaType().id() == QMetaType::QStringList &&
           items->property.write(target, itemLines(value));
}

QString applicationTitle() {
    return QCoreApplication::applicationName();
}

// The boxes about a language file cannot take their words from that file (it may lack them, or
// be missing altogether), so the program words them itself, in the language being applied: the
// second file is the German one. The log keeps the English words.
QString cantFindText(int languageIndex, const QString& component, const QString& path) {
    if (languageIndex == 1) {
        return component + QStringLiteral(" nicht gefunden! Bitte den Eintrag l\u00F6schen in: ") +
               path;
    }
    return QStringLiteral("Can\u00B4t find ") + component +
           QStringLiteral("! Please delete entry in: ") + path;
}

struct DamagedFileBox {
    QString text;
    QString caption;
};

DamagedFileBox damagedFileBox(int languageIndex, const QString& path) {
    if (languageIndex == 1) {
        return {path + QStringLiteral(" ist nicht in Ordnung. Bitte neu installieren!"),
                applicationTitle() + QStringLiteral(" Einrichtung der Oberfl\u00E4che")};
    }
    return {path + QStringLiteral(" is not correct. Please install it again!"),
            applicationTitle() + QStringLiteral(" Interface Setup")};
}

}  // namespace

TktWLanguage::TktWLanguage(QObject* owner, DialogService* dialogs)
    : QObject(owner),
      files_{QStringLiteral("english.lng"), QStringLiteral("german.lng"),
             QStringLiteral("french.lng")},
      dialogs_(dialogs) {
    Terminate = [](QObject* form) {
        if (form && form->metaObject()->indexOfMethod("close()") >= 0) {
            QMetaObject::invokeMethod(form, "close", Qt::QueuedConnection);
        }
        if (QCoreApplication* app = QCoreApplication::instance()) {
            // Only a running loop is ended; outside one (a test driving events by hand) quitting
            // would make the next loop return at once.
            QMetaObject::invokeMethod(
                app,
                [] {
                    if (QThread::currentThread()->loopLevel() > 0) {
                        QCoreApplication::exit(EXIT_FAILURE);
                    }
                },
                Qt::QueuedConnection);
        }
    };
}

TktWLanguage::~TktWLanguage() = default;

QString TktWLanguage::ktLanguageFile(int index) const {
    return files_[std::size_t(std::clamp(index, 0, 2))];
}

void TktWLanguage::setKtLanguageFile(int index, const QString& fileName) {
    if (index >= 0 && index <= 2) {
        files_[std::size_t(index)] = fileName;
    }
}

QString TktWLanguage::ProgramDir() const {
    if (!programDir_.isEmpty()) {
        return programDir_;
    }
    const QString dir = QCoreApplication::applicationDirPath();
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

void TktWLanguage::setProgramDir(const QString& directory) {
    programDir_ = directory.isEmpty() || directory.endsWith(u'/') ? directory : directory + u'/';
}

QString TktWLanguage::pathOf(int index) const {
    return ProgramDir() + ktLanguageFile(index);
}

int TktWLanguage::showMessage(const QString& text, const QString& caption, int flags) {
    if (!dialogs_) {
        qCWarning(lcStorage) << "no dialog service for:" << caption << text;
        return MessageBoxResult::Ok;
    }
    return dialogs_->messageBox(text, caption, flags);
}

int TktWLanguage::ApplyLanguageFile(QObject* form, const QString& path) {
    return ApplyLanguageDocument(form, readProfileFile(path), path);
}

int TktWLanguage::ApplyLanguageDocument(QObject* form, const ProfileDocument& document,
                                        const QString& path) {
    if (!form) {
        return 0;
    }
    int count = 0;
    for (const QByteArray& rawKey : document.keys("Interface")) {
        const QByteArray rawValue = document.readString("Interface", rawKey, {});
        if (rawValue.isEmpty()) {
            continue;
        }
        const QString key = decodeWindows1252(rawKey);
        const QString value = languageText(rawValue);
        const qsizetype firstDot = key.indexOf(u'.');
        if (firstDot < 0 || key.first(firstDot) != form->objectName()) {
            continue;
        }
        const QString rest = key.sliced(firstDot + 1);
        const qsizetype secondDot = rest.indexOf(u'.');
        const QString component = secondDot < 0 ? QString() : rest.first(secondDot);
        const QString property = secondDot < 0 ? rest : rest.sliced(secondDot + 1);

        QObject* target = component.isEmpty() ? form : findOwnedComponent(form, component);
        if (!target) {
            // Kept in the log too: the box may be answered by someone who cannot mend the file.
            qCWarning(lcStorage).noquote() << cantFindText(0, component, path);
            showMessage(cantFindText(languageIndex_, component, path), applicationTitle(),
                        MessageBoxFlags::Ok);
            continue;
        }
        if (property == u"Items.Text" && target->inherits("QComboBox")) {
            if (writeItems(target, value)) {
                ++count;
            }
            continue;
        }
        if (property == u"Lines.Text" &&
            (target->inherits("QPlainTextEdit") || target->inherits("QTextEdit"))) {
            if (target->setProperty("plainText", value)) {
                ++count;
            }
            continue;
        }
        const std::optional<PropertyRef> ref = findProperty(target, property);
        if (ref && ref->property.metaType().id() == QMetaType::QString &&
            ref->property.write(target, value)) {
            ++count;
        } else {
            qCDebug(lcStorage) << "skipped" << key;
        }
    }
    return count;
}

int TktWLanguage::ApplyLanguage(QObject* form, int index) {
    // Set first: a box while the file is applied speaks its language.
    languageIndex_ = index;
    const int count = ApplyLanguageFile(form, pathOf(index));
    useQtTexts(index);
    return count;
}

void TktWLanguage::useQtTexts(int index) {
    const QString wanted = index == 1 ? QStringLiteral("qtbase_de") : QString();
    if ((qtTexts_ ? qtTexts_->objectName() : QString()) == wanted) {
        return;
    }
    // Removed from the application as it goes.
    qtTexts_.reset();
    if (wanted.isEmpty() || !QCoreApplication::instance()) {
        return;
    }
    auto translator = std::make_unique<QTranslator>();
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(wanted, directory)) {
        qCWarning(lcStorage).noquote()
            << "no" << wanted << "in" << directory
            << "(Debian package qt6-translations-l10n): Qt's own buttons and dialogs stay English";
        return;
    }
    translator->setObjectName(wanted);
    QCoreApplication::installTranslator(translator.get());
    qtTexts_ = std::move(translator);
}

bool TktWLanguage::ApplyLanguageChecked(QObject* form, int index) {
    const int count = ApplyLanguage(form, index);
    if (count == expectedProbs_) {
        return true;
    }
    qCWarning(lcStorage) << pathOf(languageIndex_) << "set" << count << "texts, expected"
                         << expectedProbs_;
    const DamagedFileBox box = damagedFileBox(languageIndex_, pathOf(languageIndex_));
    showMessage(box.text, box.caption, MessageBoxFlags::IconError);
    if (Terminate) {
        Terminate(form);
    }
    return false;
}

QString TktWLanguage::TextByKey(const QString& key) const {
    const QByteArray rawKey = encodeWindows1252(key);
    return languageText(
        readProfileFile(pathOf(languageIndex_)).readString("Messages", rawKey, rawKey));
}

int TktWLanguage::ShowMessageByKey(const QString& messageKey, const QString& titleKey, int flags) {
    const QString title = TextByKey(titleKey);
    const QString text = TextByKey(messageKey);
    return showMessage(text, title, flags);
}

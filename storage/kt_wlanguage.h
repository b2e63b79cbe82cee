#pragma once

#include "storage/profile_document.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class DialogService;
class QTranslator;

// Gives a form its texts in one language. A language file is a Windows-1252 INI file in the
// program's directory: its section "Interface" sets text properties of a form's controls
// (key "Form.Component.Property"), its section "Messages" holds message texts by key. "~~" in
// a value is a line break. Nothing is cached: every call reads its file anew.
//
// Runs on the user-interface thread only. No operation throws; message boxes go through the
// DialogService given.
class TktWLanguage : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString ktLanguageFile1 READ ktLanguageFile1 WRITE setKtLanguageFile1)
    Q_PROPERTY(QString ktLanguageFile2 READ ktLanguageFile2 WRITE setKtLanguageFile2)
    Q_PROPERTY(QString ktLanguageFile3 READ ktLanguageFile3 WRITE setKtLanguageFile3)
    Q_PROPERTY(int ktExpectedProbs READ ktExpectedProbs WRITE setKtExpectedProbs)

public:
    explicit TktWLanguage(QObject* owner = nullptr, DialogService* dialogs = nullptr);
    ~TktWLanguage() override;

    // Index below 0 reads index 0, above 2 reads index 2.
    QString ktLanguageFile(int index) const;
    void setKtLanguageFile(int index, const QString& fileName);
    QString ktLanguageFile1() const { return ktLanguageFile(0); }
    QString ktLanguageFile2() const { return ktLanguageFile(1); }
    QString ktLanguageFile3() const { return ktLanguageFile(2); }
    void setKtLanguageFile1(const QString& name) { setKtLanguageFile(0, name); }
    void setKtLanguageFile2(const QString& name) { setKtLanguageFile(1, name); }
    void setKtLanguageFile3(const QString& name) { setKtLanguageFile(2, name); }
    int ktExpectedProbs() const { return expectedProbs_; }
    void setKtExpectedProbs(int count) { expectedProbs_ = count; }

    // The index given to the latest ApplyLanguage, unbounded; 0 before any.
    int LanguageIndex() const { return languageIndex_; }

    // Applies the "Interface" section of the file at path to form; returns how many entries
    // were applied. A missing file applies nothing.
    int ApplyLanguageFile(QObject* form, const QString& path);
    // The same for a document already read; path names it in messages.
    int ApplyLanguageDocument(QObject* form, const ProfileDocument& document, const QString& path);
    // Qt's own texts (a message box's buttons, the file dialog, a text box's menu) follow: German
    // for index 1, from the system's Qt translations; English otherwise.
    int ApplyLanguage(QObject* form, int index);
    // ApplyLanguage, and when the count differs from ktExpectedProbs: the "is not correct"
    // message (English, or German for index 1), then Terminate(form). Returns whether the file was
    // complete; on false the caller stops starting up (opens no media and no links), since the
    // program is ending.
    [[nodiscard]] bool ApplyLanguageChecked(QObject* form, int index);

    // The key's text from "Messages" of the current language, or the key itself when missing.
    // Line breaks are "\n".
    virtual QString TextByKey(const QString& key) const;
    // Looks the title up first, then the text; returns the button code (1 OK, 6 Yes, 7 No).
    int ShowMessageByKey(const QString& messageKey, const QString& titleKey, int flags);

    // The directory of the running program, with a trailing "/". Tests point it elsewhere.
    QString ProgramDir() const;
    void setProgramDir(const QString& directory);

    void setDialogs(DialogService* dialogs) { dialogs_ = dialogs; }

    // The end of the program after a damaged language file. The default closes the form (so its
    // close and destroy handlers run and the settings are written) and ends the main loop with
    // EXIT_FAILURE, both once control returns to it; tests replace it to observe the call.
    std::function<void(QObject* form)> Terminate;

private:
    int showMessage(const QString& text, const QString& caption, int flags);
    QString pathOf(int index) const;
    void useQtTexts(int index);

    std::array<QString, 3> files_;
    int expectedProbs_ = 0;
    int languageIndex_ = 0;
    QString programDir_;
    DialogService* dialogs_;
    // Qt's translation installed for the language applied last; none for English.
    std::unique_ptr<QTranslator> qtTexts_;
};

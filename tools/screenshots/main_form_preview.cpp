// Builds the main window's design as the window class will, arranges it for each role and link
// the way the window does at run time, and saves what it shows, in English and in German.
// Prints how many language entries find their control and property, every control whose text
// does not fit, and every pair of visible controls that overlap.
// Usage: main_form_preview <output directory>; the language files are read beside the program.
#include "storage/interface_entries.h"
#include "storage/kt_wlanguage.h"
#include "tools/screenshots/form_check.h"
#include "ui_fFrameLock.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <cstdio>

namespace {

struct Shot {
    FormArrangement arrangement;
    const char* name;
};

void fillSamples(Ui::TfFrameLock& ui, const TktWLanguage& lang) {
    ui.eFilename->setText(QStringLiteral("/home/show/clips/foyer_left_screen.avi"));
    ui.lbCut->setItems({QStringLiteral("250"), QStringLiteral("1200"), QStringLiteral("4875")});
    ui.lbCut->setCurrentRow(1);
    ui.lbConnected->setItems(
        {QStringLiteral("192.168.10.21:50231"), QStringLiteral("192.168.10.22:50232")});
    ui.lMasterIP->setText(QStringLiteral("192.168.10.20"));
    ui.eServerStatus->setText(lang.TextByKey(QStringLiteral("TxT_ServerOK")));
    ui.eClientStatus->setText(lang.TextByKey(QStringLiteral("TxT_ClientStatusConnect")));
    ui.seAktFrame->setValue(1450);
    ui.syncLed->setValue(true);
}

int printAll(const QString& name, const QStringList& lines) {
    for (const QString& line : lines) {
        std::printf("%s: %s\n", qPrintable(name), qPrintable(line));
    }
    return int(lines.size());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: main_form_preview <output directory>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString programDir = QCoreApplication::applicationDirPath() + u'/';

    int problems = 0;
    {
        QWidget bare;
        Ui::TfFrameLock ui;
        ui.setupUi(&bare);
        const QStringList unresolved = unresolvedEntries(bare);
        std::printf("language entries resolved: %zu of %zu\n",
                    kInterfaceEntries.size() - std::size_t(unresolved.size()),
                    kInterfaceEntries.size());
        problems += printAll(QStringLiteral("unresolved"), unresolved);
        std::printf("design size: %d x %d\n", bare.width(), bare.height());
    }

    const Shot shots[] = {{{true, true}, "master_lan"},
                          {{false, true}, "slave_lan"},
                          {{true, false}, "master_com"},
                          {{false, false}, "slave_com"}};
    for (const int index : {0, 1}) {
        const char* language = index == 0 ? "english" : "german";
        for (const Shot& shot : shots) {
            QWidget form;
            Ui::TfFrameLock ui;
            ui.setupUi(&form);
            TktWLanguage lang(&form);
            lang.setProgramDir(programDir);
            const int applied = lang.ApplyLanguage(&form, index);
            const QString name = QStringLiteral("%1_%2").arg(QString::fromLatin1(shot.name),
                                                             QString::fromLatin1(language).left(2));
            if (applied != int(kInterfaceEntries.size())) {
                std::printf("%s: %d texts applied\n", qPrintable(name), applied);
                ++problems;
            }
            fillSamples(ui, lang);
            arrangeForm(ui, form, shot.arrangement);
            form.show();
            if (!QTest::qWaitForWindowExposed(&form)) {
                std::printf("%s: window not exposed\n", qPrintable(name));
                ++problems;
            }
            problems += printAll(name, cutTexts(form));
            problems += printAll(name, overlappingControls(form));
            const QString path = out.filePath(name + QStringLiteral(".png"));
            const bool saved = form.grab().save(path);
            std::printf("%s %s (%d x %d)\n", saved ? "saved" : "FAILED", qPrintable(path),
                        form.width(), form.height());
            problems += saved ? 0 : 1;
        }
    }
    std::printf("%d problems\n", problems);
    return problems == 0 ? 0 : 1;
}

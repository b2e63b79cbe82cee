// libFuzzer target: applying an arbitrary language file to a window with the main window's
// kinds of controls.
#include "storage/kt_wlanguage.h"
#include "widgets/dialog_service.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <cstdint>

namespace {

class FuzzComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ items WRITE setItems)

public:
    using QComboBox::QComboBox;
    QStringList items() const {
        QStringList texts;
        for (int i = 0; i < count(); ++i) {
            texts << itemText(i);
        }
        return texts;
    }
    void setItems(const QStringList& items) {
        clear();
        addItems(items);
    }
};

class CountingDialogs final : public DialogService {
public:
    int messageBox(const QString&, const QString&, int) override { return ++shown, 1; }
    std::optional<QString> openFile(const OpenFileRequest&) override { return std::nullopt; }
    int showNotice(const QString&, const QString&, int) override { return 0; }
    void closeNotice(int) override {}
    bool shellOpen(const QString&, const std::function<void()>&) override { return false; }
    void beep(BeepKind) override {}
    int shown = 0;
};

struct Window {
    Window() {
        form.setObjectName(QStringLiteral("fFrameLock"));
        for (const char* name : {"bPlay", "bStop"}) {
            (new QPushButton(&form))->setObjectName(QLatin1String(name));
        }
        (new QLabel(&form))->setObjectName(QStringLiteral("lSend"));
        (new QGroupBox(&form))->setObjectName(QStringLiteral("gbSync"));
        (new FuzzComboBox(&form))->setObjectName(QStringLiteral("cbCom1"));
        (new QPlainTextEdit(&form))->setObjectName(QStringLiteral("mNotes"));
    }
    QWidget form;
};

// Never destroyed: Qt keeps its font caches in thread storage that its libraries tear down at
// exit before a static application would go, which would leave the text control's fonts behind
// as leaks; an application that stays keeps them reachable.
Window* window = nullptr;
CountingDialogs dialogs;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static auto* app = new QApplication(*argc, *argv);
    static auto* instance = new Window;
    window = instance;
    Q_UNUSED(app);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TktWLanguage lang(nullptr, &dialogs);
    lang.setKtExpectedProbs(3);
    lang.Terminate = [](QObject*) {};
    const int count =
        lang.ApplyLanguageDocument(&window->form, ProfileDocument::parse(bytes), "fuzz.lng");
    if (count < 0 || count > bytes.count('=')) {
        std::abort();
    }
    return 0;
}

#include "language_fuzz.moc"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("frameLock PRO"));
    QLabel window(QStringLiteral("frameLock PRO"));
    window.setWindowTitle(QStringLiteral("frameLock PRO"));
    window.resize(480, 200);
    window.show();
    return QApplication::exec();
}

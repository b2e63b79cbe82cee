// Serves the remote layer over a fake show, for the browser test, the screenshots and the
// dashboard benchmark. Prints "port <n>" once listening and "ran <operation>" for each
// operation run; reads commands from its standard input, one a line:
//   health <screen id> <ok|starting|not responding|frozen|failing|gone>
//   segment <n>            the show's and every screen's segment
//   language <en|de>
//   churn <per second>     every screen's shown frame changes that often, the show's name
//                          carrying the wall-clock ms of each change (0 stops)
//   quit
#include "fake_show.h"
#include "net/remote_layer.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

namespace {

ShowSnapshot screens(int count) {
    ShowSnapshot show = FakeShow::threeScreens();
    for (int i = 3; i < count; ++i) {
        ScreenStatus screen = show.screens[1];
        screen.id = QStringLiteral("slave-%1").arg(i);
        screen.name = QStringLiteral("Screen %1").arg(i);
        screen.address = QStringLiteral("192.168.50.%1:40300").arg(10 + i);
        show.screens.push_back(screen);
    }
    show.screens.resize(static_cast<std::size_t>(std::max(1, count)));
    return show;
}

std::optional<ScreenHealth> healthNamed(const QString& word) {
    for (ScreenHealth health :
         {ScreenHealth::Ok, ScreenHealth::Starting, ScreenHealth::NotResponding,
          ScreenHealth::Frozen, ScreenHealth::Failing, ScreenHealth::Gone}) {
        if (screenHealthName(health) == word)
            return health;
    }
    return std::nullopt;
}

void say(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"port", "HTTP port (0: a free one)", "port", "0"},
                       {"token", "the operations' token", "token", "show-token"},
                       {"screens", "how many screens", "count", "3"},
                       {"language", "en or de", "language", "en"}});
    parser.process(app);

    FakeShow fake;
    ShowSnapshot show = screens(parser.value("screens").toInt());
    fake.status.setSnapshot(show);
    QString language = parser.value("language");
    fake.operators.add({QStringLiteral("start"), OperatorArgument::None, {}, [](std::int64_t) {
                            say(QStringLiteral("ran start"));
                        }});
    fake.operators.add({QStringLiteral("stop"), OperatorArgument::None, {}, [](std::int64_t) {
                            say(QStringLiteral("ran stop"));
                        }});

    RemoteShow remote;
    remote.operators = &fake.operators;
    remote.status = &fake.status;
    remote.language = [&language] { return language; };
    remote.token = parser.value("token");
    RemoteLayer layer(std::move(remote));
    if (!layer.open({static_cast<quint16>(parser.value("port").toUInt()), 0}, true, false)
             .isEmpty())
        return 1;
    say(QStringLiteral("port %1").arg(layer.httpPort()));

    QTimer churn;
    QObject::connect(&churn, &QTimer::timeout, [&] {
        for (ScreenStatus& screen : show.screens)
            screen.shownFrame = screen.shownFrame.value_or(0) + 1;
        show.showName = QString::number(QDateTime::currentMSecsSinceEpoch());
        fake.status.setSnapshot(show);
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, got);
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QStringList words = QString::fromUtf8(pending.first(end)).split(QLatin1Char(' '));
            pending.remove(0, end + 1);
            const QString command = words.value(0);
            if (command == QLatin1String("health") && words.size() >= 3) {
                const auto health = healthNamed(words.mid(2).join(QLatin1Char(' ')));
                for (ScreenStatus& screen : show.screens) {
                    if (health && screen.id == words[1])
                        screen.health = *health;
                }
            } else if (command == QLatin1String("segment")) {
                show.segment = words.value(1).toInt();
                for (ScreenStatus& screen : show.screens)
                    screen.segment = show.segment;
            } else if (command == QLatin1String("language")) {
                language = words.value(1);
            } else if (command == QLatin1String("churn")) {
                const int perSecond = words.value(1).toInt();
                if (perSecond > 0)
                    churn.start(1000 / perSecond);
                else
                    churn.stop();
            } else if (command == QLatin1String("quit")) {
                app.quit();
            }
            fake.status.setSnapshot(show);
            say(QStringLiteral("did ") + command);
        }
    });
    return app.exec();
}

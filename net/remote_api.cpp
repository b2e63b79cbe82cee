#include "net/remote_api.h"

#include "net/remote_log.h"
#include "net/remote_token.h"
#include "net/show_json.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString ApiPrefix = QStringLiteral("/api/v1/");
const QByteArray JsonType = QByteArrayLiteral("application/json");
// The tail of a log is looked for within this many bytes from its end.
constexpr qint64 LogTailBytes = 256 * 1024;

HttpReply json(int status, const QJsonObject& object) {
    return {status, JsonType, QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

HttpReply error(int status, const QString& reason) {
    return json(status, {{QStringLiteral("error"), reason}});
}

// The dashboard's own files, built into the program.
HttpReply builtIn(const QString& name, const QByteArray& type) {
    QFile file(QStringLiteral(":/dashboard/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return error(404, QStringLiteral("not found"));
    return {200, type, file.readAll(), {}};
}

HttpReply page(const QString& path) {
    if (path == QLatin1String("/") || path == QLatin1String("/index.html"))
        return builtIn(QStringLiteral("index.html"), "text/html; charset=utf-8");
    if (path == QLatin1String("/dashboard.js"))
        return builtIn(QStringLiteral("dashboard.js"), "text/javascript; charset=utf-8");
    if (path == QLatin1String("/dashboard.css"))
        return builtIn(QStringLiteral("dashboard.css"), "text/css; charset=utf-8");
    if (path == QLatin1String("/api/v1/openapi.json"))
        return builtIn(QStringLiteral("openapi.json"), JsonType);
    return error(404, QStringLiteral("not found"));
}

QByteArray bearer(const HttpRequest& request) {
    const QByteArray value = request.header("authorization").trimmed();
    const QByteArray scheme = QByteArrayLiteral("bearer ");
    if (value.size() <= scheme.size() || value.first(scheme.size()).toLower() != scheme)
        return {};
    return value.sliced(scheme.size()).trimmed();
}

// The operation's argument: {"argument": n} in the body, or ?argument=n.
std::optional<std::optional<std::int64_t>> argumentOf(const HttpRequest& request) {
    if (request.query.hasQueryItem(QStringLiteral("argument"))) {
        bool ok = false;
        const qlonglong value =
            request.query.queryItemValue(QStringLiteral("argument")).toLongLong(&ok);
        return ok ? std::optional<std::optional<std::int64_t>>(value) : std::nullopt;
    }
    if (request.body.trimmed().isEmpty())
        return std::optional<std::int64_t>();
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue value = document.object().value(QStringLiteral("argument"));
    if (value.isUndefined() || value.isNull())
        return std::optional<std::int64_t>();
    const double number = value.toDouble(0.5);
    constexpr double Limit = 9.0e15;
    if (!value.isDouble() || number != static_cast<double>(static_cast<std::int64_t>(number)) ||
        number > Limit || number < -Limit)
        return std::nullopt;
    return std::optional<std::int64_t>(static_cast<std::int64_t>(number));
}

int outcomeStatus(OperatorTable::Outcome outcome) {
    switch (outcome) {
        case OperatorTable::Outcome::Done:
            return 200;
        case OperatorTable::Outcome::Unknown:
            return 404;
        case OperatorTable::Outcome::MissingArgument:
        case OperatorTable::Outcome::BadArgument:
            return 400;
        case OperatorTable::Outcome::NotAllowed:
            return 409;
    }
    return 500;
}

}  // namespace

HttpReply RemoteApi::answer(const HttpRequest& request) const {
    HttpReply reply;
    const bool operation = request.path.startsWith(ApiPrefix + "operations/");
    if (!show_.hosts.admits(request.peer)) {
        reply = error(403, QStringLiteral("this host is not admitted (Server_CommandHosts)"));
    } else if (operation && request.method == "POST") {
        reply = operate(request, request.path.sliced(ApiPrefix.size() + 11));
    } else if (operation || request.method != "GET") {
        reply = error(405, QStringLiteral("method not allowed"));
        reply.addHeader("Allow", operation ? QByteArrayLiteral("POST") : QByteArrayLiteral("GET"));
    } else if (request.path == ApiPrefix + "show") {
        reply = {200, JsonType, showDocument(), {}};
    } else if (request.path.startsWith(ApiPrefix + "screens/")) {
        const ScreenStatus* screen =
            show_.status->snapshot().screen(request.path.sliced(ApiPrefix.size() + 8));
        reply =
            screen ? json(200, screenJson(*screen)) : error(404, QStringLiteral("no such screen"));
    } else if (request.path == ApiPrefix + "log") {
        reply = logTail(request);
    } else if (request.path == ApiPrefix + "report") {
        reply = showReport();
    } else {
        reply = page(request.path);
    }
    reply.addHeader("Cache-Control", "no-store");
    reply.addHeader("X-Content-Type-Options", "nosniff");
    reply.addHeader("Content-Security-Policy",
                    "default-src 'self'; connect-src 'self'; img-src 'self' data:; "
                    "frame-ancestors 'none'");
    return reply;
}

HttpReply RemoteApi::operate(const HttpRequest& request, const QString& name) const {
    const QByteArray given = bearer(request);
    if (given.isEmpty()) {
        HttpReply reply = error(401, QStringLiteral("an operation needs the token"));
        reply.addHeader("WWW-Authenticate", "Bearer realm=\"frameLock\"");
        return reply;
    }
    if (!remoteTokenMatches(show_.token.toLatin1(), given)) {
        note(request.peer,
             QStringLiteral("%1 from %2 refused: wrong token").arg(name, request.peer));
        return error(403, QStringLiteral("wrong token"));
    }
    const auto argument = argumentOf(request);
    if (!argument)
        return error(400, QStringLiteral("the argument must be a whole number"));
    const OperatorTable::Result result = show_.operators->run(name, *argument);
    const QString what =
        argument->has_value() ? name + QLatin1Char(' ') + QString::number(**argument) : name;
    note(request.peer, QStringLiteral("%1 from %2 %3")
                           .arg(what, request.peer,
                                result.done() ? QStringLiteral("done")
                                              : QStringLiteral("refused: ") + result.reason));
    if (!result.done())
        return error(outcomeStatus(result.outcome), result.reason);
    return json(200, {{QStringLiteral("done"), true}, {QStringLiteral("operation"), name}});
}

HttpReply RemoteApi::logTail(const HttpRequest& request) const {
    int lines = DefaultLogLines;
    if (request.query.hasQueryItem(QStringLiteral("lines"))) {
        bool ok = false;
        lines = request.query.queryItemValue(QStringLiteral("lines")).toInt(&ok);
        if (!ok || lines < 1 || lines > MaxLogLines)
            return error(400, QStringLiteral("lines must be 1 to %1").arg(MaxLogLines));
    }
    QFile file(show_.programDir + QStringLiteral("frameLock.log"));
    QByteArray tail;
    if (file.open(QIODevice::ReadOnly)) {
        const qint64 from = std::max<qint64>(0, file.size() - LogTailBytes);
        file.seek(from);
        tail = file.readAll();
        // A line cut by the window's start is no line.
        if (from > 0)
            tail = tail.sliced(std::min<qsizetype>(tail.indexOf('\n') + 1, tail.size()));
    }
    QList<QByteArray> all = tail.split('\n');
    if (!all.isEmpty() && all.last().isEmpty())
        all.removeLast();
    QJsonArray out;
    for (qsizetype i = std::max<qsizetype>(0, all.size() - lines); i < all.size(); ++i)
        out.append(QString::fromUtf8(all[i]));
    return json(200, {{QStringLiteral("lines"), out}});
}

HttpReply RemoteApi::showReport() const {
    QFile file(show_.programDir + QStringLiteral("frameLock-show.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return error(404, QStringLiteral("no show report yet"));
    HttpReply reply{200, "text/csv; charset=utf-8", file.readAll(), {}};
    reply.addHeader("Content-Disposition", "attachment; filename=\"frameLock-show.csv\"");
    return reply;
}

void RemoteApi::note(const QString& host, const QString& line) const {
    if (log_)
        log_->note(host, line);
}

bool RemoteApi::admitStream(const HttpRequest& request) const {
    if (request.path != QLatin1String(StreamPath) || !show_.hosts.admits(request.peer))
        return false;
    const QByteArray origin = request.header("origin");
    return origin.isEmpty() || origin == "http://" + request.header("host");
}

QByteArray RemoteApi::showDocument() const {
    return QJsonDocument(showJson(show_.status->snapshot(), *show_.operators, show_.language()))
        .toJson(QJsonDocument::Compact);
}

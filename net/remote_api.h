#pragma once

#include "app/operator_table.h"
#include "app/show_status.h"
#include "net/command_host_list.h"
#include "net/http_exchange.h"

#include <QString>
#include <functional>

class RemoteLog;

// What the remote surfaces are given of the show: its operations, its status, the directory of
// its event log and show report, the operator's language ("en" or "de"), the token operations
// need and the hosts that may reach the show at all.
struct RemoteShow {
    const OperatorTable* operators = nullptr;
    const ShowStatusModel* status = nullptr;
    // With a trailing "/".
    QString programDir;
    std::function<QString()> language;
    QString token;
    CommandHostList hosts;
};

// Answers the dashboard's and the API's requests. Reading is open to the admitted hosts; an
// operation needs the token as a bearer header. Refusals carry their reason as JSON
// {"error": ...} so that the dashboard and a show controller can say why.
class RemoteApi {
public:
    static constexpr int DefaultLogLines = 100;
    static constexpr int MaxLogLines = 1000;
    static constexpr const char* StreamPath = "/api/v1/stream";

    // Lines about operations go to log, when there is one.
    explicit RemoteApi(RemoteShow show, RemoteLog* log = nullptr)
        : show_(std::move(show)), log_(log) {}

    HttpReply answer(const HttpRequest& request) const;
    // A live stream may open from an admitted host, and from a page only when the page came
    // from this server (its Origin names the host the request was sent to): another site open in
    // the operator's browser must not read the show. A client that names no origin is no
    // browser page and is let in.
    bool admitStream(const HttpRequest& request) const;
    // The show as the API's /api/v1/show returns it, in one line of JSON.
    QByteArray showDocument() const;

private:
    HttpReply operate(const HttpRequest& request, const QString& name) const;
    HttpReply logTail(const HttpRequest& request) const;
    HttpReply showReport() const;

    void note(const QString& host, const QString& line) const;

    RemoteShow show_;
    RemoteLog* log_;
};

#pragma once

#include "net/host_log_budget.h"

#include <QObject>
#include <QString>

class QTimer;

// The remote layer's lines about one host (a connection or request refused, an operation run
// or refused), under framelock.net, within what a host may cost the log: a host that floods the
// ports must not wipe the show's history out of the rotating log (see HostLogBudget).
class RemoteLog : public QObject {
    Q_OBJECT

public:
    explicit RemoteLog(QObject* parent = nullptr);

    void note(const QString& host, const QString& line);

private:
    void flush();

    HostLogBudget budget_;
    QTimer* flushTimer_;
};

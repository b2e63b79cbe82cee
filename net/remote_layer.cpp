#include "net/remote_layer.h"

#include "net/net_log.h"
#include "net/osc_front.h"
#include "net/qt_http_front.h"
#include "net/remote_log.h"

#include <QTimer>

// The dashboard's files live in a resource of the static core library, which the linker would
// drop unless something names it.
static void initDashboardResource() {
    Q_INIT_RESOURCE(dashboard);
}

RemoteLayer::RemoteLayer(RemoteShow show, const RemoteLimits& limits, QObject* parent)
    : QObject(parent),
      log_(new RemoteLog(this)),
      api_(show, log_),
      status_(show.status),
      limits_(limits),
      show_(std::move(show)) {
    initDashboardResource();
    connect(status_, &ShowStatusModel::changed, this, &RemoteLayer::showChanged);
}

RemoteLayer::~RemoteLayer() = default;

QStringList RemoteLayer::open(Ports ports, bool httpOn, bool oscOn) {
    QStringList failures;
    if (httpOn) {
        HttpFront::Handlers handlers;
        handlers.answer = [this](const HttpRequest& request) { return api_.answer(request); };
        handlers.admitStream = [this](const HttpRequest& request) {
            return api_.admitStream(request);
        };
        handlers.greeting = [this] { return streamMessage(); };
        auto http = std::make_unique<QtHttpFront>(std::move(handlers), limits_, *log_);
        QString error;
        if (http->listen(ports.http, &error)) {
            qCInfo(lcNet).noquote() << "remote: dashboard and API on TCP port" << http->port();
            http_ = std::move(http);
        } else {
            failures << QStringLiteral("HTTP port %1: %2").arg(ports.http).arg(error);
        }
    }
    if (oscOn) {
        auto osc = std::make_unique<OscFront>(*show_.operators, show_.hosts, limits_, *log_);
        osc->setSnapshotSource([this]() -> const ShowSnapshot& { return status_->snapshot(); });
        QString error;
        if (osc->listen(ports.osc, &error)) {
            qCInfo(lcNet).noquote() << "remote: OSC on UDP port" << osc->port();
            osc_ = std::move(osc);
        } else {
            failures << QStringLiteral("OSC port %1: %2").arg(ports.osc).arg(error);
        }
    }
    for (const QString& failure : failures)
        qCWarning(lcNet).noquote() << "remote:" << failure;
    return failures;
}

quint16 RemoteLayer::httpPort() const {
    return http_ ? http_->port() : 0;
}

quint16 RemoteLayer::oscPort() const {
    return osc_ ? osc_->port() : 0;
}

int RemoteLayer::streamCount() const {
    return http_ ? http_->streamCount() : 0;
}

void RemoteLayer::showChanged() {
    if (publishing_)
        return;
    publishing_ = true;
    QTimer::singleShot(0, this, &RemoteLayer::publish);
}

void RemoteLayer::publish() {
    publishing_ = false;
    ++sequence_;
    if (http_ && http_->streamCount() > 0)
        http_->broadcast(streamMessage());
    if (osc_)
        osc_->publish(status_->snapshot());
}

QByteArray RemoteLayer::streamMessage() const {
    return QByteArrayLiteral("{\"event\":\"show\",\"sequence\":") + QByteArray::number(sequence_) +
           QByteArrayLiteral(",\"show\":") + api_.showDocument() + '}';
}

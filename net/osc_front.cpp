#include "net/osc_front.h"

#include "app/show_status.h"
#include "net/net_log.h"
#include "net/remote_log.h"

#include <lo/lo.h>

#include <QSocketNotifier>
#include <cmath>
#include <cstring>

struct OscFront::Subscriber {
    explicit Subscriber(lo_address a) : address(a) {}
    ~Subscriber() { lo_address_free(address); }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;
    lo_address address;
};

namespace {

const QString Prefix = QStringLiteral("/framelock/");
// The refused hosts the log names, each once; past this many it names no more.
constexpr int RefusedHostsLogged = 64;

thread_local QString lastLiblError;

void noteError(int number, const char* message, const char* where) {
    lastLiblError = QStringLiteral("%1 (%2%3)")
                        .arg(QString::fromUtf8(message ? message : "error"))
                        .arg(number)
                        .arg(where ? QStringLiteral(", ") + QString::fromUtf8(where) : QString());
}

QString sourceHost(lo_address source) {
    QString host = QString::fromUtf8(lo_address_get_hostname(source));
    if (host.startsWith(QLatin1String("::ffff:")))
        host = host.sliced(7);
    return host;
}

// One argument's value. liblo's arguments lie on 4-byte boundaries only, as OSC packs them, so
// a 64-bit one is copied out rather than read in place through the union.
template <typename T>
T argumentValue(const lo_arg* argument) {
    T value{};
    std::memcpy(&value, reinterpret_cast<const char*>(argument), sizeof value);
    return value;
}

// The arguments as numbers; one of another type is not a number.
std::vector<double> numbersOf(const char* types, lo_arg** argv, int argc) {
    std::vector<double> numbers;
    for (int i = 0; i < argc; ++i) {
        switch (types[i]) {
            case LO_INT32:
                numbers.push_back(argumentValue<std::int32_t>(argv[i]));
                break;
            case LO_INT64:
                numbers.push_back(static_cast<double>(argumentValue<std::int64_t>(argv[i])));
                break;
            case LO_FLOAT:
                numbers.push_back(argumentValue<float>(argv[i]));
                break;
            case LO_DOUBLE:
                numbers.push_back(argumentValue<double>(argv[i]));
                break;
            case LO_TRUE:
                numbers.push_back(1);
                break;
            case LO_FALSE:
                numbers.push_back(0);
                break;
            default:
                numbers.push_back(std::nan(""));
                break;
        }
    }
    return numbers;
}

}  // namespace

OscFront::OscFront(const OperatorTable& operators, CommandHostList hosts,
                   const RemoteLimits& limits, RemoteLog& log, QObject* parent)
    : QObject(parent),
      operators_(operators),
      hosts_(std::move(hosts)),
      limits_(limits),
      log_(log),
      rate_(limits.requestsPerSecondPerHost) {}

OscFront::~OscFront() {
    subscribers_.clear();
    if (server_)
        lo_server_free(server_);
}

bool OscFront::listen(quint16 port, QString* error) {
    lastLiblError.clear();
    const QByteArray service = port == 0 ? QByteArray() : QByteArray::number(port);
    server_ = lo_server_new_with_proto(service.isEmpty() ? nullptr : service.constData(), LO_UDP,
                                       noteError);
    if (!server_) {
        *error = lastLiblError.isEmpty() ? QStringLiteral("cannot open the port") : lastLiblError;
        return false;
    }
    lo_server_add_method(
        server_, nullptr, nullptr,
        [](const char* path, const char* types, lo_arg** argv, int argc, lo_message message,
           void* self) {
            static_cast<OscFront*>(self)->handle(QString::fromUtf8(path), types,
                                                 numbersOf(types, argv, argc), message);
            return 0;
        },
        this);
    notifier_ = new QSocketNotifier(lo_server_get_socket_fd(server_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &OscFront::readDatagrams);
    return true;
}

quint16 OscFront::port() const {
    return server_ ? static_cast<quint16>(lo_server_get_port(server_)) : 0;
}

void OscFront::readDatagrams() {
    while (server_ && lo_server_recv_noblock(server_, 0) > 0) {
    }
}

void OscFront::handle(const QString& path, const char* types, const std::vector<double>& numbers,
                      LoMessage message) {
    const lo_address source = lo_message_get_source(message);
    const QString host = sourceHost(source);
    if (!hosts_.admits(host)) {
        if (refusedHosts_.size() < RefusedHostsLogged && !refusedHosts_.contains(host)) {
            refusedHosts_.insert(host);
            qCInfo(lcNet).noquote() << "remote: OSC of" << host << "ignored, host not admitted";
        }
        return;
    }
    if (!rate_.admit(host))
        return;
    if (!path.startsWith(Prefix)) {
        reply(source, path, false, QStringLiteral("addresses begin with /framelock/"));
        return;
    }
    const QString name = path.sliced(Prefix.size());
    if (name == QLatin1String("subscribe") || name == QLatin1String("unsubscribe")) {
        subscribe(source, name == QLatin1String("subscribe"));
        return;
    }
    std::optional<std::int64_t> argument;
    if (!numbers.empty()) {
        const double value = numbers.front();
        if (!std::isfinite(value) || value != std::trunc(value) || std::fabs(value) > 9.0e15) {
            reply(source, path, false,
                  QStringLiteral("the argument must be a whole number, not type %1")
                      .arg(QLatin1Char(types[0])));
            return;
        }
        argument = static_cast<std::int64_t>(value);
    }
    const OperatorTable::Result result = operators_.run(name, argument);
    const QString what = argument ? path + QLatin1Char(' ') + QString::number(*argument) : path;
    log_.note(host, QStringLiteral("OSC %1 from %2 %3")
                        .arg(what, host,
                             result.done() ? QStringLiteral("done")
                                           : QStringLiteral("refused: ") + result.reason));
    reply(source, path, result.done(), result.reason);
}

void OscFront::reply(LoAddress target, const QString& address, bool done, const QString& reason) {
    lo_message message = lo_message_new();
    lo_message_add_string(message, address.toUtf8().constData());
    lo_message_add_string(message, done ? "ok" : "refused");
    lo_message_add_string(message, reason.toUtf8().constData());
    lo_send_message_from(target, server_, "/framelock/reply", message);
    lo_message_free(message);
}

void OscFront::subscribe(LoAddress source, bool on) {
    const QByteArray host = lo_address_get_hostname(source);
    const QByteArray port = lo_address_get_port(source);
    std::erase_if(subscribers_, [&](const std::shared_ptr<Subscriber>& s) {
        return host == lo_address_get_hostname(s->address) &&
               port == lo_address_get_port(s->address);
    });
    if (on) {
        if (static_cast<int>(subscribers_.size()) >= limits_.oscSubscribers)
            subscribers_.erase(subscribers_.begin());
        subscribers_.push_back(std::make_shared<Subscriber>(
            lo_address_new_with_proto(LO_UDP, host.constData(), port.constData())));
    }
    reply(source, Prefix + (on ? QStringLiteral("subscribe") : QStringLiteral("unsubscribe")), true,
          QString());
    if (on && snapshot_)
        sendState(subscribers_.back()->address, snapshot_());
}

void OscFront::publish(const ShowSnapshot& show) {
    for (const std::shared_ptr<Subscriber>& subscriber : subscribers_)
        sendState(subscriber->address, show);
}

void OscFront::sendState(LoAddress target, const ShowSnapshot& show) {
    // Built message by message: liblo's variadic sends are macros on C99 compound literals.
    const auto send = [&](const char* path, const auto& fill) {
        lo_message message = lo_message_new();
        fill(message);
        lo_send_message_from(target, server_, path, message);
        lo_message_free(message);
    };
    send("/framelock/state", [&](lo_message message) {
        for (const int value : {show.running ? 1 : 0, show.segment.value_or(0), show.loop ? 1 : 0,
                                show.fullScreen ? 1 : 0, static_cast<int>(show.screens.size())})
            lo_message_add_int32(message, value);
    });
    for (const ScreenStatus& screen : show.screens) {
        send("/framelock/screen", [&](lo_message message) {
            for (const QString& text :
                 {screen.id, screen.name, screenHealthName(screen.health), screen.state})
                lo_message_add_string(message, text.toUtf8().constData());
            lo_message_add_int32(message, screen.segment.value_or(0));
            lo_message_add_int64(message, screen.shownFrame.value_or(-1));
        });
    }
}

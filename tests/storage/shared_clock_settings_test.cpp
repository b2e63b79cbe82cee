#include "app/shared_clock_props.h"
#include "storage/props_storage.h"

#include <gtest/gtest.h>

#include <QMap>
#include <algorithm>
#include <vector>

namespace {

std::vector<QString> gLogged;

void recordLog(QtMsgType, const QMessageLogContext&, const QString& message) {
    gLogged.push_back(message);
}

// Loads SharedClock_Port from a settings section holding `text`, then stores it back.
struct PortRoundTrip {
    int loaded = 0;
    QByteArray saved;
    bool refusalLogged = false;
};

PortRoundTrip loadPort(const QByteArray& text) {
    QMap<QByteArray, QByteArray> section{{"SharedClock_Port", text}};
    TSharedClockProps props;
    TPropsStorage storage{&props,
                          "SharedClock_",
                          "System",
                          [&](const QByteArray&, const QByteArray& key,
                              const QByteArray& fallback) { return section.value(key, fallback); },
                          [&](const QByteArray&, const QByteArray& key, const QByteArray& value) {
                              section[key] = value;
                          },
                          [](const QByteArray&) {},
                          [&](const QByteArray&) { return section.keys(); }};
    const PropertyRef port = *findProperty(&props, u"Port");
    gLogged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordLog);
    storage.LoadProperty(port);
    qInstallMessageHandler(previous);
    storage.StoreProperty(port);
    return {props.Port(), section.value("SharedClock_Port"),
            std::any_of(gLogged.begin(), gLogged.end(), [&](const QString& line) {
                return line.contains(QStringLiteral("refused")) &&
                       line.contains(QStringLiteral("SharedClock_Port")) &&
                       line.contains(QStringLiteral("keeping \"8235\""));
            })};
}

// A port that is no port keeps the design value, is logged and is saved back as that value;
// 0 stays the setting that switches the shared clock off.
TEST(SharedClockSettings, OnlyPortNumbersAreTakenAndZeroSwitchesTheClockOff) {
    for (const QByteArray text : {"abc", "-1", "65536", "", "12abc"}) {
        const PortRoundTrip trip = loadPort(text);
        EXPECT_EQ(trip.loaded, 8235) << text.constData();
        EXPECT_EQ(trip.saved, "8235") << text.constData();
        EXPECT_TRUE(trip.refusalLogged) << text.constData();
    }
    for (const auto& [text, port] : {std::pair<QByteArray, int>{"0", 0}, {"9000", 9000}}) {
        const PortRoundTrip trip = loadPort(text);
        EXPECT_EQ(trip.loaded, port) << text.constData();
        EXPECT_EQ(trip.saved, text);
        EXPECT_FALSE(trip.refusalLogged) << text.constData();
    }
}

}  // namespace

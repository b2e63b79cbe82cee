// OSC over real UDP with a liblo client: operations, their replies, state for a subscriber, and
// silence towards hosts the Master does not obey.
#include "remote_layer_test.h"

#include <lo/lo.h>

#include <gtest/gtest.h>
#include <QTest>
#include <cstring>

#include "support/qt_printers.h"

namespace {

// A show controller: its own liblo server, so that replies come back to it.
class OscClient {
public:
    explicit OscClient(quint16 masterPort) {
        server_ = lo_server_new(nullptr, nullptr);
        master_ = lo_address_new("127.0.0.1", QByteArray::number(masterPort).constData());
        lo_server_add_method(
            server_, nullptr, nullptr,
            [](const char* path, const char* types, lo_arg** argv, int argc, lo_message,
               void* self) {
                QStringList message{QString::fromUtf8(path)};
                // liblo's arguments lie on 4-byte boundaries: read as bytes, not through the union.
                for (int i = 0; i < argc; ++i) {
                    const char* bytes = reinterpret_cast<const char*>(argv[i]);
                    if (types[i] == LO_STRING) {
                        message << QString::fromUtf8(bytes);
                    } else if (types[i] == LO_INT32) {
                        std::int32_t value = 0;
                        std::memcpy(&value, bytes, sizeof value);
                        message << QString::number(value);
                    } else if (types[i] == LO_INT64) {
                        std::int64_t value = 0;
                        std::memcpy(&value, bytes, sizeof value);
                        message << QString::number(value);
                    }
                }
                static_cast<OscClient*>(self)->received << message;
                return 0;
            },
            this);
    }
    ~OscClient() {
        lo_address_free(master_);
        lo_server_free(server_);
    }
    OscClient(const OscClient&) = delete;
    OscClient& operator=(const OscClient&) = delete;

    template <typename... Args>
    void send(const char* path, const char* types, Args... args) {
        lo_send_from(master_, server_, LO_TT_IMMEDIATE, path, types, args...);
    }
    // Waits until count messages came, reading them while the Master's event loop runs.
    bool waitFor(qsizetype count, int ms = 10000) {
        return QTest::qWaitFor(
            [&] {
                while (lo_server_recv_noblock(server_, 0) > 0) {
                }
                return received.size() >= count;
            },
            ms);
    }

    QList<QStringList> received;

private:
    lo_server server_ = nullptr;
    lo_address master_ = nullptr;
};

class RemoteOscTest : public RemoteLayerTest {
protected:
    void start(const QString& hosts = {}) {
        RemoteShow show = remoteShow();
        show.hosts = CommandHostList(hosts);
        open(std::move(show), {}, false, true);
        ASSERT_NE(layer_->oscPort(), 0);
        EXPECT_EQ(layer_->httpPort(), 0);
    }
};

TEST_F(RemoteOscTest, EachOperationRunsAndIsAnsweredToItsSender) {
    start();
    OscClient client(layer_->oscPort());
    client.send("/framelock/start", "");
    client.send("/framelock/cue", "i", 2);
    client.send("/framelock/loop", "T");
    client.send("/framelock/goto", "f", 240.0f);
    client.send("/framelock/cue", "f", 1.5f);
    client.send("/framelock/cue", "i", 0);
    client.send("/elsewhere/start", "");
    ASSERT_TRUE(client.waitFor(7));
    EXPECT_EQ(show_.ran, QStringList({"start", "cue 2", "loop 1", "goto 240"}));
    EXPECT_EQ(client.received[0], QStringList({"/framelock/reply", "/framelock/start", "ok", ""}));
    EXPECT_EQ(client.received[1], QStringList({"/framelock/reply", "/framelock/cue", "ok", ""}));
    for (int i : {4, 5, 6}) {
        ASSERT_EQ(client.received[i].size(), 4);
        EXPECT_EQ(client.received[i][2], "refused") << i;
        EXPECT_FALSE(client.received[i][3].isEmpty()) << i;
    }
}

TEST_F(RemoteOscTest, ASubscriberIsSentTheShowAtOnceAndAtEveryChange) {
    start();
    OscClient client(layer_->oscPort());
    client.send("/framelock/subscribe", "");
    // The reply and the state (running, segment, loop, full screen, screens).
    ASSERT_TRUE(client.waitFor(2));
    EXPECT_EQ(client.received[0][2], "ok");
    EXPECT_EQ(client.received[1], QStringList({"/framelock/state", "0", "0", "0", "0", "0"}));

    show_.status.setSnapshot(FakeShow::threeScreens());
    ASSERT_TRUE(client.waitFor(6));
    EXPECT_EQ(client.received[2], QStringList({"/framelock/state", "1", "2", "0", "0", "3"}));
    EXPECT_EQ(client.received[5], QStringList({"/framelock/screen", "slave-2", "Door", "starting",
                                               "no media", "0", "-1"}));
}

TEST_F(RemoteOscTest, AHostTheMasterDoesNotObeyIsNeitherHeardNorAnswered) {
    start(QStringLiteral("192.0.2.10"));
    OscClient client(layer_->oscPort());
    client.send("/framelock/start", "");
    client.send("/framelock/subscribe", "");
    show_.status.setSnapshot(FakeShow::threeScreens());
    // Nothing is expected; a second gives the datagrams time to be read and dropped.
    EXPECT_FALSE(client.waitFor(1, 1000));
    EXPECT_EQ(show_.ran, QStringList());
}

}  // namespace

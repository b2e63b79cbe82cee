// The dashboard's and the API's HTTP over real loopback sockets: what they answer, in the shape
// the OpenAPI file gives, and who may operate the show.
#include "http_probe.h"
#include "openapi_check.h"
#include "remote_layer_test.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "support/qt_printers.h"

namespace {

const QString Token = QStringLiteral("0123456789abcdef0123456789abcdef");

class RemoteApiTest : public RemoteLayerTest {
protected:
    void start(const QString& hosts = {}) {
        ASSERT_TRUE(dir_.isValid());
        RemoteShow show = remoteShow();
        show.programDir = dir_.path() + QLatin1Char('/');
        show.language = [] { return QStringLiteral("de"); };
        show.token = Token;
        show.hosts = CommandHostList(hosts);
        open(std::move(show));
    }

    HttpAnswer get(const QByteArray& path) { return httpExchange(port_, httpRequest("GET", path)); }
    HttpAnswer post(const QByteArray& path, const QByteArray& headers,
                    const QByteArray& body = {}) {
        return httpExchange(port_, httpRequest("POST", path, headers, body));
    }
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir_;
};

const QByteArray RightToken = "Authorization: Bearer " + Token.toLatin1() + "\r\n";

TEST_F(RemoteApiTest, ReadsTheShowItsScreensLogAndReportInTheShapeTheOpenApiFileGives) {
    start();
    show_.status.setSnapshot(FakeShow::threeScreens());
    writeFile(QStringLiteral("frameLock.log"), "one\ntwo\nthree\nfour\n");
    writeFile(QStringLiteral("frameLock-show.csv"), "2026-12-07 21:04:10.512,2,Master,30,0\n");

    const HttpAnswer openApi = get("/api/v1/openapi.json");
    ASSERT_EQ(openApi.status, 200);
    const QJsonObject document = openApi.json();
    const QJsonObject schemas = document.value("components").toObject().value("schemas").toObject();

    const HttpAnswer show = get("/api/v1/show");
    ASSERT_EQ(show.status, 200);
    EXPECT_EQ(show.headers.value("content-type"), "application/json");
    EXPECT_EQ(schemaViolations(show.json(), schemas.value("Show").toObject(), document),
              QStringList());
    const QJsonArray screens = show.json().value("screens").toArray();
    ASSERT_EQ(screens.size(), 3);
    EXPECT_EQ(screens[0].toObject().value("id").toString(), "master");
    EXPECT_EQ(screens[2].toObject().value("health").toString(), "starting");
    EXPECT_TRUE(screens[2].toObject().value("segment").isNull());
    EXPECT_EQ(show.json().value("language").toString(), "de");
    // The check is not blind: a show without its screens breaks it.
    QJsonObject broken = show.json();
    broken.remove("screens");
    EXPECT_FALSE(schemaViolations(broken, schemas.value("Show").toObject(), document).isEmpty());

    const HttpAnswer wall = get("/api/v1/screens/slave-1");
    ASSERT_EQ(wall.status, 200);
    EXPECT_EQ(schemaViolations(wall.json(), schemas.value("Screen").toObject(), document),
              QStringList());
    EXPECT_EQ(wall.json().value("lateMs").toArray(), QJsonArray({8, 12}));
    EXPECT_EQ(get("/api/v1/screens/slave-9").status, 404);

    const HttpAnswer log = get("/api/v1/log?lines=2");
    ASSERT_EQ(log.status, 200);
    EXPECT_EQ(schemaViolations(log.json(), schemas.value("LogTail").toObject(), document),
              QStringList());
    EXPECT_EQ(log.json().value("lines").toArray(), QJsonArray({"three", "four"}));
    EXPECT_EQ(get("/api/v1/log?lines=0").status, 400);

    const HttpAnswer report = get("/api/v1/report");
    ASSERT_EQ(report.status, 200);
    EXPECT_EQ(report.body, "2026-12-07 21:04:10.512,2,Master,30,0\n");
    EXPECT_TRUE(report.headers.value("content-disposition").contains("frameLock-show.csv"));

    const HttpAnswer page = get("/");
    ASSERT_EQ(page.status, 200);
    EXPECT_TRUE(page.headers.value("content-type").startsWith("text/html"));
    EXPECT_TRUE(page.body.contains("/dashboard.js"));
    EXPECT_EQ(get("/dashboard.js").status, 200);
    EXPECT_EQ(get("/nothing-here").status, 404);
}

TEST_F(RemoteApiTest, AnOperationRunsWithTheRightTokenOnlyAndSaysWhyItWasRefused) {
    start();
    const HttpAnswer bare = post("/api/v1/operations/start", {});
    EXPECT_EQ(bare.status, 401);
    EXPECT_TRUE(bare.headers.value("www-authenticate").startsWith("Bearer"));
    const HttpAnswer wrong = post("/api/v1/operations/start", "Authorization: Bearer nope\r\n");
    EXPECT_EQ(wrong.status, 403);
    EXPECT_EQ(wrong.json().value("error").toString(), "wrong token");
    // One digit off, the same length: no partial match counts.
    QByteArray almost = Token.toLatin1();
    almost[31] = '0';
    EXPECT_EQ(post("/api/v1/operations/start", "Authorization: Bearer " + almost + "\r\n").status,
              403);
    EXPECT_EQ(
        post("/api/v1/operations/start", "Authorization: Bearer " + Token.toLatin1() + "0\r\n")
            .status,
        403);
    EXPECT_EQ(show_.ran, QStringList());

    const HttpAnswer started = post("/api/v1/operations/start", RightToken);
    EXPECT_EQ(started.status, 200);
    EXPECT_EQ(started.json().value("done").toBool(), true);
    EXPECT_EQ(post("/api/v1/operations/cue", RightToken, R"({"argument": 2})").status, 200);
    EXPECT_EQ(post("/api/v1/operations/loop?argument=1", RightToken).status, 200);
    EXPECT_EQ(show_.ran, QStringList({"start", "cue 2", "loop 1"}));

    EXPECT_EQ(post("/api/v1/operations/cue", RightToken).status, 400);
    EXPECT_EQ(post("/api/v1/operations/cue", RightToken, R"({"argument": 1.5})").status, 400);
    EXPECT_EQ(post("/api/v1/operations/cue", RightToken, "{not json").status, 400);
    EXPECT_EQ(post("/api/v1/operations/cue", RightToken, R"({"argument": 0})").status, 400);
    EXPECT_EQ(post("/api/v1/operations/fly", RightToken).status, 404);
    const HttpAnswer notNow = post("/api/v1/operations/step", RightToken, R"({"argument": 1})");
    EXPECT_EQ(notNow.status, 409);
    EXPECT_FALSE(notNow.json().value("error").toString().isEmpty());
    EXPECT_EQ(get("/api/v1/operations/start").status, 405);
    EXPECT_EQ(show_.ran, QStringList({"start", "cue 2", "loop 1"}));
}

TEST_F(RemoteApiTest, AHostTheCommandPortDoesNotObeyMayNeitherReadNorOperate) {
    start(QStringLiteral("192.0.2.10"));
    EXPECT_EQ(get("/api/v1/show").status, 403);
    EXPECT_EQ(get("/").status, 403);
    EXPECT_EQ(post("/api/v1/operations/start", RightToken).status, 403);
    EXPECT_EQ(show_.ran, QStringList());
}

}  // namespace

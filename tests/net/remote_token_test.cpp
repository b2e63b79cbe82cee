// The token: made from the system's random source, kept in the settings file beside the other
// keys, compared whole.
#include "net/remote_token.h"
#include "storage/profile_file.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "support/qt_printers.h"

TEST(RemoteTokenTest, ANewTokenIsLongRandomAndStoredWithoutDisturbingTheOtherKeys) {
    const QString first = makeRemoteToken();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(first).hasMatch())
        << first.toStdString();
    EXPECT_NE(first, makeRemoteToken());

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("frameLock.ini"));
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("; the installer's note\r\n[System]\r\nServer_CommandHosts=192.168.50.11\r\n");
    file.close();
    QString error;
    ASSERT_TRUE(storeRemoteToken(ini, first, &error)) << error.toStdString();
    const ProfileDocument stored = readProfileFile(ini);
    EXPECT_EQ(stored.readString("System", "Remote_Token", ""), first.toLatin1());
    EXPECT_EQ(stored.readString("System", "Server_CommandHosts", ""), "192.168.50.11");
    EXPECT_TRUE(stored.serialize().startsWith("; the installer's note"));

    EXPECT_FALSE(
        storeRemoteToken(dir.filePath(QStringLiteral("missing/frameLock.ini")), first, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(RemoteTokenTest, OnlyTheWholeTokenMatches) {
    EXPECT_TRUE(remoteTokenMatches("a1b2c3", "a1b2c3"));
    EXPECT_FALSE(remoteTokenMatches("a1b2c3", "a1b2c4"));
    EXPECT_FALSE(remoteTokenMatches("a1b2c3", "a1b2c"));
    EXPECT_FALSE(remoteTokenMatches("a1b2c3", "a1b2c3a1b2c3"));
    EXPECT_FALSE(remoteTokenMatches("a1b2c3", ""));
    // No token set: nothing opens the operations.
    EXPECT_FALSE(remoteTokenMatches("", ""));
}

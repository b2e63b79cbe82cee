#include "storage/profile_document.h"
#include "storage/profile_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

TEST(ProfileDocument, ReadsNamesWithoutCaseAndValuesTrimmedAndUnquoted) {
    const auto doc = ProfileDocument::parse(
        "; comment=not a key\r\n"
        "orphan=outside any section\r\n"
        "[ System ]\r\n"
        "  cbAutoStart_Checked  =  True  \r\n"
        "Quoted=\"  kept blanks  \"\r\n"
        "Single='x'\r\n"
        "Mixed=\"x'\r\n"
        "Lone=\"\r\n"
        "NoEquals line\r\n"
        "=no key\r\n"
        "Empty=\r\n"
        "dup=first\r\n"
        "DUP=second\r\n"
        "\xc4rger=\xe4\r\n"
        "[system]\r\n"
        "Late=from a second section of the same name\n");
    EXPECT_EQ(doc.readString("SYSTEM", "CBAUTOSTART_CHECKED", "d"), "True");
    EXPECT_EQ(doc.readString("System", "Quoted", "d"), "  kept blanks  ");
    EXPECT_EQ(doc.readString("System", "Single", "d"), "x");
    EXPECT_EQ(doc.readString("System", "Mixed", "d"), "\"x'");
    EXPECT_EQ(doc.readString("System", "Lone", "d"), "\"");
    EXPECT_EQ(doc.readString("System", "Empty", "d"), "");
    EXPECT_EQ(doc.readString("System", "dup", "d"), "first");
    EXPECT_EQ(doc.readString("System", "\xe4RGER", "d"), "\xe4");  // Ä and ä fold together
    EXPECT_EQ(doc.readString("System", "NoEquals line", "d"), "d");
    EXPECT_EQ(doc.readString("System", "Late", "d"), "d");
    EXPECT_EQ(doc.readString("System", "orphan", "d"), "d");
    EXPECT_EQ(doc.readString("Missing", "x", "d"), "d");
    EXPECT_EQ(doc.keys("system"), (QList<QByteArray>{"cbAutoStart_Checked", "Quoted", "Single",
                                                     "Mixed", "Lone", "Empty", "dup", "\xc4rger"}));
}

TEST(ProfileDocument, LimitsValueLengthAndKeyListing) {
    QByteArray text = "[S]\nlong=" + QByteArray(5000, 'v') + "\n";
    // 1000 names of 20 bytes take 21 bytes each in the listing; after "long" and the final
    // zero, 779 of them fit into 16384 bytes.
    for (int i = 0; i < 1000; ++i) {
        text += QByteArray::number(i).rightJustified(20, 'k') + "=1\n";
    }
    const auto doc = ProfileDocument::parse(text);
    EXPECT_EQ(doc.readString("S", "long", {}).size(), ProfileDocument::kMaxValueBytes);
    const auto keys = doc.keys("S");
    ASSERT_EQ(keys.size(), 1 + (16384 - 1 - 5) / 21);
    EXPECT_EQ(keys.front(), "long");
}

TEST(ProfileDocument, WritesChangeOnlyTheirOwnLine) {
    const QByteArray original =
        "; settings\r\n[System]\r\nA=1\r\n; note\r\nB = 2\r\n\r\n[Other]\r\nx=\"y\"\r\n";
    auto doc = ProfileDocument::parse(original);
    EXPECT_EQ(doc.serialize(), original);

    doc.writeString("system", "b", "3");
    doc.writeString("System", "C", "new");
    doc.writeString("Fresh", "K", "v");
    EXPECT_EQ(doc.serialize(),
              "; settings\r\n[System]\r\nA=1\r\n; note\r\nb=3\r\nC=new\r\n\r\n[Other]\r\n"
              "x=\"y\"\r\n[Fresh]\r\nK=v\r\n");

    doc.eraseSection("SYSTEM");
    EXPECT_EQ(doc.serialize(), "; settings\r\n[Other]\r\nx=\"y\"\r\n[Fresh]\r\nK=v\r\n");
}

TEST(ProfileDocument, AppendsToAFileWithoutFinalLineBreakInItsOwnStyle) {
    auto doc = ProfileDocument::parse("[S]\nA=1");
    doc.writeString("S", "B", "2");
    doc.writeString("T", "C", "3");
    EXPECT_EQ(doc.serialize(), "[S]\nA=1\nB=2\n[T]\nC=3\n");

    ProfileDocument empty;
    empty.writeString("System", "FormVersion", "0");
    EXPECT_EQ(empty.serialize(), "[System]\r\nFormVersion=0\r\n");
}

TEST(ProfileDocument, LineBreaksInWrittenTextCannotInjectKeysOrSections) {
    ProfileDocument doc;
    doc.writeString("S", "File", "a.avi\r\n[S]\r\nInjected=1");
    EXPECT_EQ(doc.keys("S"), QList<QByteArray>{"File"});
    EXPECT_EQ(doc.readString("S", "File", {}), "a.avi  [S]  Injected=1");
}

TEST(ProfileDocument, SurvivesGarbageBinaryAndHugeLines) {
    QByteArray garbage("[S]\nGood=1\n");
    for (int i = 0; i < 4096; ++i) {
        garbage += char((i * 131) & 0xFF);
    }
    garbage += "\n[S2]\nhuge=" + QByteArray(10 * 1024 * 1024, 'x') + "\nafter=2\n[[[\n]]=\n";
    const auto doc = ProfileDocument::parse(garbage);
    EXPECT_EQ(doc.readString("S", "Good", {}), "1");
    EXPECT_EQ(doc.readString("S2", "huge", {}).size(), ProfileDocument::kMaxValueBytes);
    EXPECT_EQ(doc.readString("S2", "after", {}), "2");
    EXPECT_EQ(doc.serialize(), garbage);
}

TEST(ProfileFile, MissingFileReadsEmptyAndFirstWriteCreatesIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frameLock.ini"));
    EXPECT_EQ(readProfileFile(path).serialize(), "");
    auto doc = readProfileFile(path);
    doc.writeString("System", "FormVersion", "0");
    QString error;
    ASSERT_TRUE(writeProfileFile(path, doc, &error)) << error.toStdString();
    EXPECT_EQ(fileBytes(path), "[System]\r\nFormVersion=0\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"frameLock.ini"});
}

TEST(ProfileFile, RefusedWriteLeavesTheOldFileUntouched) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frameLock.ini"));
    const QByteArray old = "[System]\r\nNormPos=1,2,3,4\r\n; keep me\r\n";
    writeBytes(path, old);
    auto doc = readProfileFile(path);
    doc.writeString("System", "Big", QByteArray(100000, 'b'));

    // A full disk: writes beyond a few bytes fail with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &tiny);
    QString error;
    const bool written = writeProfileFile(path, doc, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(fileBytes(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"frameLock.ini"});
}

TEST(ProfileFile, ReadOnlyDirectoryRefusesTheWrite) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frameLock.ini"));
    writeBytes(path, "[System]\r\nA=1\r\n");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    // Permission bits do not stop root; an immutable directory does, where allowed.
    const bool root = geteuid() == 0;
    if (root &&
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), dir.path()}) != 0) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "cannot make a directory read-only for root here";
    }
    auto doc = readProfileFile(path);
    doc.writeString("System", "A", "2");
    QString error;
    EXPECT_FALSE(writeProfileFile(path, doc, &error));
    if (root) {
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), dir.path()});
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(fileBytes(path), "[System]\r\nA=1\r\n");
}

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

// Whatever the line ends, a write followed by a fresh parse reads what the document reads.
void expectRereadAgrees(const ProfileDocument& doc, QByteArrayView section) {
    const ProfileDocument reread = ProfileDocument::parse(doc.serialize());
    EXPECT_EQ(reread.keys(section), doc.keys(section));
    for (const QByteArray& key : doc.keys(section)) {
        EXPECT_EQ(reread.value(section, key), doc.value(section, key)) << key.constData();
    }
}

TEST(ProfileDocument, CarriageReturnsAndCtrlZReadAsLineEndsAndBlanks) {
    // Old Mac line ends: every key is seen, and new lines follow the file's own style.
    auto mac = ProfileDocument::parse("[System]\rA=1\rB = 2 \x1a\r");
    EXPECT_EQ(mac.keys("System"), (QList<QByteArray>{"A", "B"}));
    EXPECT_EQ(mac.readString("System", "B", {}), "2");
    mac.writeString("System", "C", "3");
    mac.writeString("Other", "D", "4");
    EXPECT_EQ(mac.serialize(), "[System]\rA=1\rB = 2 \x1a\rC=3\r[Other]\rD=4\r");
    expectRereadAgrees(mac, "System");

    // Past the last line feed a carriage return still ends a line; before it, it is text, and
    // at the end of a name or a value it is a blank, as is Ctrl-Z.
    auto mixed = ProfileDocument::parse("[S]\nk\r=a\rb\r\r\nz=\x1aq\x1a\nA=1\rB=2");
    EXPECT_EQ(mixed.keys("S"), (QList<QByteArray>{"k", "z", "A", "B"}));
    EXPECT_EQ(mixed.readString("s", "K", {}), "a\rb");
    EXPECT_EQ(mixed.readString("S", "z", {}), "q");
    EXPECT_EQ(mixed.readString("S", "B", {}), "2");
    mixed.writeString("S", "C", "3");
    mixed.writeString("S", "k", "x");
    EXPECT_EQ(mixed.serialize(), "[S]\nk=x\r\nz=\x1aq\x1a\nA=1\rB=2\rC=3\r");
    expectRereadAgrees(mixed, "S");

    // A file that lost its line feeds when a section was erased reads as before.
    auto erased = ProfileDocument::parse("[A]\nx=1\n[S]\rv=1\rw=2");
    erased.eraseSection("A");
    erased.writeString("S", "u", "3");
    EXPECT_EQ(erased.serialize(), "[S]\rv=1\rw=2\ru=3\r");
    expectRereadAgrees(erased, "S");
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

// Makes path refuse writes, also for root: permission bits do not stop root, the immutable
// attribute does where the file system allows it. Undone by allowWrites.
bool refuseWrites(const QString& path) {
    if (geteuid() != 0) {
        return QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    return QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
}

void allowWrites(const QString& path) {
    if (geteuid() == 0) {
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(ProfileFile, WritableFileInAReadOnlyDirectoryIsRewrittenInPlace) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frameLock.ini"));
    const QString locked = dir.filePath(QStringLiteral("locked.ini"));
    writeBytes(path, "[System]\r\nA=1\r\nLong=" + QByteArray(200, 'x') + "\r\n");
    writeBytes(locked, "[System]\r\nA=1\r\n");
    if (!refuseWrites(locked) || !refuseWrites(dir.path())) {
        allowWrites(locked);
        GTEST_SKIP() << "cannot make a directory read-only here";
    }
    auto doc = readProfileFile(path);
    doc.writeString("System", "A", "2");
    doc.eraseSection("System");
    doc.writeString("System", "B", "3");
    QString error;
    const bool written = writeProfileFile(path, doc, &error);
    // Neither a file the directory has no room for nor one that refuses writes itself.
    const bool created = writeProfileFile(dir.filePath(QStringLiteral("new.ini")), doc, &error);
    const bool lockedWritten = writeProfileFile(locked, doc, &error);
    allowWrites(dir.path());
    allowWrites(locked);

    EXPECT_TRUE(written) << error.toStdString();
    EXPECT_EQ(fileBytes(path), "[System]\r\nB=3\r\n");
    EXPECT_FALSE(created);
    EXPECT_FALSE(lockedWritten);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(fileBytes(locked), "[System]\r\nA=1\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{"frameLock.ini", "locked.ini"}));
}

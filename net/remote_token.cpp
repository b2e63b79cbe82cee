#include "net/remote_token.h"

#include "storage/profile_file.h"

#include <QRandomGenerator>
#include <array>

QString makeRemoteToken() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QString token;
    for (quint32 word : words)
        token += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return token;
}

bool remoteTokenMatches(QByteArrayView expected, QByteArrayView given) {
    if (expected.isEmpty())
        return false;
    // Every byte of the expected token is looked at whatever the given one holds; a given token
    // of another length is compared all the same and fails on the length.
    unsigned difference = expected.size() == given.size() ? 0U : 1U;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const char other = given.isEmpty() ? '\0' : given[i % given.size()];
        difference |= static_cast<unsigned char>(expected[i] ^ other);
    }
    return difference == 0;
}

bool storeRemoteToken(const QString& iniPath, const QString& token, QString* error) {
    ProfileDocument document = readProfileFile(iniPath);
    document.writeString("System", "Remote_Token", token.toLatin1());
    return writeProfileFile(iniPath, document, error);
}

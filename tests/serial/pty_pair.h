#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A pseudo-terminal: the port under test opens the slave by its path, the test plays the far
// end of the line on the master.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    const QString& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    void writeMaster(const QByteArray& bytes);
    // Reads from the master until `count` bytes have come or `timeoutMs` has passed.
    QByteArray readMaster(int count, int timeoutMs = 2000);
    // Hangs up the line: the slave side sees the device disappear.
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

// Two pseudo-terminals joined by socat, as two serial ports joined by a null-modem cable.
class NullModem {
public:
    NullModem();
    ~NullModem();

    bool ok() const { return ok_; }
    QString pathA() const { return dir_.filePath(QStringLiteral("a")); }
    QString pathB() const { return dir_.filePath(QStringLiteral("b")); }

private:
    QTemporaryDir dir_;
    QProcess socat_;
    bool ok_ = false;
};

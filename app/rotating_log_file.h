#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

// An append-only text file of bounded size: when the next line would take the file past
// maxBytes, it becomes <path>.1, an older <path>.1 becomes <path>.2 and so on, and the oldest
// beyond `keptOld` is deleted. A line is never split over two files. The file is opened on the
// first write, so nothing is created until something is written. Not thread safe: the owner
// serialises the writes.
class RotatingLogFile {
public:
    RotatingLogFile(QString path, qint64 maxBytes, int keptOld);

    // Appends `line` (which carries its own line end) and flushes it, so that a process that is
    // killed loses nothing it logged. False when the file cannot be written.
    bool write(QByteArrayView line);

    QString path() const { return path_; }

private:
    bool open();
    void rotate();
    QString oldPath(int n) const;

    const QString path_;
    const qint64 maxBytes_;
    const int keptOld_;
    QFile file_;
};

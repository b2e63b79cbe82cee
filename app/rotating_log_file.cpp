#include "app/rotating_log_file.h"

RotatingLogFile::RotatingLogFile(QString path, qint64 maxBytes, int keptOld)
    : path_(std::move(path)), maxBytes_(maxBytes), keptOld_(keptOld), file_(path_) {}

QString RotatingLogFile::oldPath(int n) const {
    return path_ + QLatin1Char('.') + QString::number(n);
}

bool RotatingLogFile::open() {
    return file_.isOpen() || file_.open(QIODevice::WriteOnly | QIODevice::Append);
}

void RotatingLogFile::rotate() {
    file_.close();
    QFile::remove(oldPath(keptOld_));
    for (int n = keptOld_ - 1; n >= 1; --n) {
        QFile::rename(oldPath(n), oldPath(n + 1));
    }
    if (keptOld_ > 0) {
        QFile::rename(path_, oldPath(1));
    } else {
        QFile::remove(path_);
    }
}

bool RotatingLogFile::write(QByteArrayView line) {
    if (!open()) {
        return false;
    }
    // An empty file takes any line, however long: rotating it away would only lose older lines.
    if (file_.size() > 0 && file_.size() + line.size() > maxBytes_) {
        rotate();
        if (!open()) {
            return false;
        }
    }
    const bool written = file_.write(line.data(), line.size()) == line.size();
    return file_.flush() && written;
}

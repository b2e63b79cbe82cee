#include "storage/wording.h"

QString Wording::operator()(const char* key, const char* english) const {
    return (*this)(QString::fromLatin1(key), QString::fromUtf8(english));
}

QString Wording::operator()(const QString& key, const QString& english) const {
    if (textByKey_) {
        QString text = textByKey_(key);
        if (!text.isEmpty() && text != key) {
            return text;
        }
    }
    return english;
}

#include "storage/placement_text.h"

QByteArray resolutionSuffix(QSize screen) {
    return '(' + QByteArray::number(screen.width()) + 'x' + QByteArray::number(screen.height()) +
           ')';
}

QByteArray positionText(int a, int b, int c, int d) {
    return QByteArray::number(a) + ',' + QByteArray::number(b) + ',' + QByteArray::number(c) + ',' +
           QByteArray::number(d);
}

std::array<std::optional<int>, 4> positionWords(QByteArrayView text) {
    std::array<std::optional<int>, 4> words;
    std::size_t next = 0;
    qsizetype i = 0;
    while (i < text.size() && next < words.size()) {
        while (i < text.size() && (text[i] == ',' || text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        const qsizetype start = i;
        while (i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\t') {
            ++i;
        }
        if (i > start) {
            bool ok = false;
            const int value = text.sliced(start, i - start).toByteArray().toInt(&ok);
            words[next++] = ok ? std::optional<int>(value) : std::nullopt;
        }
    }
    return words;
}

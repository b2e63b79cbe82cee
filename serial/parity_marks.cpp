#include "serial/parity_marks.h"

QByteArray DecodeParityMarks(QByteArray& pending, const QByteArray& raw, char replacement) {
    const QByteArray input = pending + raw;
    pending.clear();
    QByteArray out;
    out.reserve(input.size());
    constexpr char kMark = '\xFF';
    qsizetype i = 0;
    while (i < input.size()) {
        if (input[i] != kMark) {
            out.append(input[i]);
            ++i;
            continue;
        }
        if (i + 1 >= input.size()) {
            pending = input.mid(i);
            break;
        }
        if (input[i + 1] == kMark) {
            out.append(kMark);
            i += 2;
            continue;
        }
        if (i + 2 >= input.size()) {
            pending = input.mid(i);
            break;
        }
        out.append(replacement);
        i += 3;
    }
    return out;
}

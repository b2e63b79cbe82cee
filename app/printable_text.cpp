#include "app/printable_text.h"

#include <QList>

namespace {

bool mustEscape(char32_t code) {
    if (code == U'\\') {
        return true;
    }
    switch (QChar::category(code)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            return false;
    }
}

}  // namespace

QString printableText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const char32_t code : text.toUcs4()) {
        if (!mustEscape(code)) {
            out += QString::fromUcs4(&code, 1);
        } else if (code < 0x100) {
            out += QStringLiteral("\\x%1").arg(static_cast<uint>(code), 2, 16, QLatin1Char('0'));
        } else {
            out += QStringLiteral("\\u%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

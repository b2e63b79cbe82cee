#include "app/status_words.h"

#include <utility>

StatusWords StatusWords::fromLanguage(const std::function<QString(const QString&)>& textByKey) {
    StatusWords words;
    const std::pair<const char*, QString*> keys[] = {
        {"TxT_StatusSegment", &words.segment},
        {"TxT_StatusCued", &words.cued},
        {"TxT_StatusLate", &words.late},
        {"TxT_StatusStillCueing", &words.stillCueing},
        {"TxT_StatusNoMedia", &words.noMedia},
        {"TxT_StatusStopped", &words.stopped},
        {"TxT_StatusEnded", &words.ended},
        {"TxT_StatusTooShort", &words.tooShort},
        {"TxT_StatusInOutside", &words.inOutside},
        {"TxT_StatusRate", &words.rate},
        {"TxT_StatusFrames", &words.frames},
        {"TxT_StatusMaster", &words.master},
        {"TxT_StatusCheckFailed", &words.checkFailed},
    };
    for (const auto& [key, word] : keys) {
        const QString text = textByKey(QString::fromLatin1(key));
        if (text != QLatin1String(key) && !text.isEmpty()) {
            *word = text;
        }
    }
    return words;
}

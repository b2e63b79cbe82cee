#include "app/status_words.h"

#include "storage/wording.h"

#include <utility>

StatusWords StatusWords::fromLanguage(const std::function<QString(const QString&)>& textByKey) {
    return fromWording(Wording(textByKey));
}

StatusWords StatusWords::fromWording(const Wording& say) {
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
        {"TxT_StatusMediaFailed", &words.mediaFailed},
        {"TxT_StatusNotResponding", &words.notResponding},
        {"TxT_StatusFrozen", &words.frozen},
    };
    for (const auto& [key, word] : keys) {
        *word = say(QString::fromLatin1(key), *word);
    }
    return words;
}

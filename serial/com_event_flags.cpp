#include "serial/com_event_flags.h"

namespace ComEventFlag {

std::uint32_t Of(TEvent event) {
    switch (event) {
        case TEvent::evRxChar:
            return RxChar;
        case TEvent::evTxEmpty:
            return TxEmpty;
        case TEvent::evRxFlag:
            return RxFlag;
        case TEvent::evRing:
            return Ring;
        case TEvent::evBreak:
            return Break;
        case TEvent::evCTS:
            return CTS;
        case TEvent::evDSR:
            return DSR;
        case TEvent::evError:
            return Error;
        case TEvent::evRLSD:
            return RLSD;
        case TEvent::evRx80Full:
            return Rx80Full;
    }
    return 0;
}

std::uint32_t Mask(TEvents events) {
    std::uint32_t mask = 0;
    for (int i = 0; i < 10; ++i) {
        const auto event = static_cast<TEvent>(i);
        if (events.Contains(event)) {
            mask |= Of(event);
        }
    }
    return mask;
}

}  // namespace ComEventFlag

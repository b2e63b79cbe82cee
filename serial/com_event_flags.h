#pragma once

#include <array>
#include <cstdint>

#include "serial/com_types.h"

// The event word: one flag per line event, as the event thread reports them and as the
// private message of the event window carries them. The values are fixed (a full mask is 1535).
namespace ComEventFlag {

inline constexpr std::uint32_t RxChar = 1;
inline constexpr std::uint32_t RxFlag = 2;
inline constexpr std::uint32_t TxEmpty = 4;
inline constexpr std::uint32_t CTS = 8;
inline constexpr std::uint32_t DSR = 16;
inline constexpr std::uint32_t RLSD = 32;
inline constexpr std::uint32_t Break = 64;
inline constexpr std::uint32_t Error = 128;
inline constexpr std::uint32_t Ring = 256;
inline constexpr std::uint32_t Rx80Full = 1024;

// The order in which the events of one word reach their handlers, whatever order they happened.
inline constexpr std::array<std::uint32_t, 10> DispatchOrder = {
    RxChar, TxEmpty, Break, Ring, CTS, DSR, RxFlag, RLSD, Error, Rx80Full};

std::uint32_t Of(TEvent event);
std::uint32_t Mask(TEvents events);

}  // namespace ComEventFlag

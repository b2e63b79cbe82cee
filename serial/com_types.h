#pragma once

#include <QObject>
#include <cstdint>
#include <initializer_list>

// Value types of the serial port. The enumerators' names are their textual form in the settings
// file ("br9600", "dbEight"), so they are registered with the meta-object system and must keep
// their spelling and order (the ordinal is the position).
namespace ComTypes {
Q_NAMESPACE

enum class TPortType { COM1, COM2, COM3, COM4, COM5, COM6, COM7, COM8 };
Q_ENUM_NS(TPortType)

enum class TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
Q_ENUM_NS(TBaudRate)

enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
Q_ENUM_NS(TStopBits)

enum class TDataBits { dbFive, dbSix, dbSeven, dbEight };
Q_ENUM_NS(TDataBits)

enum class TParityBits { prNone, prOdd, prEven, prMark, prSpace };
Q_ENUM_NS(TParityBits)

enum class TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
Q_ENUM_NS(TDTRFlowControl)

enum class TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
Q_ENUM_NS(TRTSFlowControl)

enum class TEvent {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
Q_ENUM_NS(TEvent)

enum class TSyncMethod { smThreadSync, smWindowSync, smNone };
Q_ENUM_NS(TSyncMethod)

enum class TComError { leFrame, leRxParity, leOverrun, leBreak, leIO, leMode, leRxOver, leTxFull };
Q_ENUM_NS(TComError)

enum class TLineSignal { lsCTS, lsDSR, lsRing, lsRLSD };
Q_ENUM_NS(TLineSignal)

// A set of enumerators, bit n for ordinal n (16 bits, as stored).
template <typename E>
class EnumSet {
public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<E> members) {
        for (E member : members) {
            Insert(member);
        }
    }
    static constexpr EnumSet FromBits(std::uint16_t bits) {
        EnumSet set;
        set.bits_ = bits;
        return set;
    }

    constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
    constexpr EnumSet& Insert(E member) {
        bits_ = static_cast<std::uint16_t>(bits_ | Bit(member));
        return *this;
    }
    constexpr EnumSet& Remove(E member) {
        bits_ = static_cast<std::uint16_t>(bits_ & ~Bit(member));
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint16_t Bits() const { return bits_; }

    friend constexpr bool operator==(EnumSet, EnumSet) = default;

private:
    static constexpr std::uint16_t Bit(E member) {
        return static_cast<std::uint16_t>(1U << static_cast<unsigned>(member));
    }

    std::uint16_t bits_ = 0;
};

using TEvents = EnumSet<TEvent>;
using TComErrors = EnumSet<TComError>;
using TLineSignals = EnumSet<TLineSignal>;

inline constexpr TEvents AllEvents = TEvents::FromBits(0x03FF);

// Rate in bits per second of each TBaudRate.
int BaudRateValue(TBaudRate rate);

}  // namespace ComTypes

Q_DECLARE_METATYPE(ComTypes::TEvents)

using ComTypes::TBaudRate;
using ComTypes::TComError;
using ComTypes::TComErrors;
using ComTypes::TDataBits;
using ComTypes::TDTRFlowControl;
using ComTypes::TEvent;
using ComTypes::TEvents;
using ComTypes::TLineSignal;
using ComTypes::TLineSignals;
using ComTypes::TParityBits;
using ComTypes::TPortType;
using ComTypes::TRTSFlowControl;
using ComTypes::TStopBits;
using ComTypes::TSyncMethod;

#pragma once

#include <compare>
#include <cstdint>

// Thin layer over the Linux tty ioctls the serial port needs. Every call takes an open tty file
// descriptor and returns 0 or the errno of the failure; nothing here throws or keeps state.
// It is kept apart because the kernel's termios2 (needed for rates that have no B-constant,
// such as 14400 and 56000) cannot share a translation unit with <termios.h>.
namespace Tty {

enum class Parity { None, Odd, Even, Mark, Space };

// Line settings as the kernel understands them.
struct LineConfig {
    std::uint32_t baud = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    // CSTOPB: two stop bits, or one and a half with five data bits.
    bool extraStopBits = false;
    // INPCK: received parity is checked.
    bool checkParity = false;
    // PARMRK: a byte with a parity or framing error arrives as 0xFF 0x00 <byte> and a data
    // byte 0xFF as 0xFF 0xFF.
    bool markErrors = false;
    // CRTSCTS: RTS/CTS handshake in both directions.
    bool hardwareFlow = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    std::uint8_t xonChar = 17;
    std::uint8_t xoffChar = 19;

    friend bool operator==(const LineConfig&, const LineConfig&) = default;
};

// Puts the line into raw mode with the given settings. When the driver silently changes
// framing, handshake or the rate (by more than 3 %), the previous settings are restored and
// EINVAL is returned: such a line would not talk to its peer. Pseudo-terminals are excepted
// for data bits and parity, which they always set to 8 and none.
int ApplyLine(int fd, const LineConfig& config);
int ReadLine(int fd, LineConfig& config);

int InputQueued(int fd, int& bytes);
int OutputQueued(int fd, int& bytes);
int Flush(int fd, bool input, bool output);

// Modem lines as bits of the constants below.
inline constexpr int LineDTR = 0x002;
inline constexpr int LineRTS = 0x004;
inline constexpr int LineCTS = 0x020;
inline constexpr int LineCD = 0x040;
inline constexpr int LineRI = 0x080;
inline constexpr int LineDSR = 0x100;
int ModemLines(int fd, int& lines);
int SetModemLine(int fd, int line, bool on);

// Line error and break counters of the driver; they only ever grow.
struct Counters {
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int breaks = 0;
    int bufferOverrun = 0;
    int ring = 0;
};
int ReadCounters(int fd, Counters& counters);

// RS-485 style RTS: raised only while sending.
int SetRtsToggle(int fd, bool on);

// True for the errors a driver gives for an ioctl it does not implement (a pseudo-terminal
// has no modem lines and no counters).
bool IsUnsupported(int error);

}  // namespace Tty

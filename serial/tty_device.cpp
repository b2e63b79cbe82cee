#include "serial/tty_device.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdlib>

namespace Tty {
namespace {

int Result(int rc) {
    return rc == 0 ? 0 : errno;
}

tcflag_t SizeFlag(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

int DataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

tcflag_t ParityFlags(Parity parity) {
    switch (parity) {
        case Parity::None:
            return 0;
        case Parity::Odd:
            return PARENB | PARODD;
        case Parity::Even:
            return PARENB;
        case Parity::Mark:
            return PARENB | CMSPAR | PARODD;
        case Parity::Space:
            return PARENB | CMSPAR;
    }
    return 0;
}

Parity ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return Parity::None;
    }
    const bool odd = (cflag & PARODD) != 0;
    if ((cflag & CMSPAR) != 0) {
        return odd ? Parity::Mark : Parity::Space;
    }
    return odd ? Parity::Odd : Parity::Even;
}

termios2 Encode(const termios2& previous, const LineConfig& config) {
    termios2 t = previous;
    t.c_iflag = IGNBRK;
    if (config.checkParity) {
        t.c_iflag |= INPCK;
    }
    if (config.markErrors) {
        t.c_iflag |= PARMRK;
    }
    if (config.xonXoffOut) {
        t.c_iflag |= IXON;
    }
    if (config.xonXoffIn) {
        t.c_iflag |= IXOFF;
    }
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = CREAD | CLOCAL | HUPCL | BOTHER | (BOTHER << IBSHIFT) | SizeFlag(config.dataBits) |
                ParityFlags(config.parity);
    if (config.extraStopBits) {
        t.c_cflag |= CSTOPB;
    }
    if (config.hardwareFlow) {
        t.c_cflag |= CRTSCTS;
    }
    t.c_ispeed = config.baud;
    t.c_ospeed = config.baud;
    // With VMIN 0 a read of an empty queue returns 0, which is indistinguishable from a hang-up;
    // with 1 (and the descriptor non-blocking) it fails with EAGAIN.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = config.xonChar;
    t.c_cc[VSTOP] = config.xoffChar;
    return t;
}

// UNIX98 pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

bool RateClose(std::uint32_t wanted, std::uint32_t actual) {
    const long difference = std::labs(static_cast<long>(wanted) - static_cast<long>(actual));
    return difference * 100 <= static_cast<long>(wanted) * 3;
}

}  // namespace

int ApplyLine(int fd, const LineConfig& config) {
    termios2 previous{};
    if (ioctl(fd, TCGETS2, &previous) != 0) {
        return errno;
    }
    const termios2 wanted = Encode(previous, config);
    if (ioctl(fd, TCSETS2, &wanted) != 0) {
        return errno;
    }
    termios2 actual{};
    if (ioctl(fd, TCGETS2, &actual) != 0) {
        return errno;
    }
    // A pseudo-terminal has no wire: it always carries 8-bit bytes without parity.
    const tcflag_t kFraming = IsPseudoTerminal(fd)
                                  ? CSTOPB | CRTSCTS
                                  : CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    if ((actual.c_cflag & kFraming) != (wanted.c_cflag & kFraming) ||
        !RateClose(config.baud, actual.c_ospeed)) {
        ioctl(fd, TCSETS2, &previous);
        return EINVAL;
    }
    return 0;
}

int ReadLine(int fd, LineConfig& config) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    config.baud = t.c_ospeed;
    config.dataBits = DataBitsOf(t.c_cflag);
    config.parity = ParityOf(t.c_cflag);
    config.extraStopBits = (t.c_cflag & CSTOPB) != 0;
    config.checkParity = (t.c_iflag & INPCK) != 0;
    config.markErrors = (t.c_iflag & PARMRK) != 0;
    config.hardwareFlow = (t.c_cflag & CRTSCTS) != 0;
    config.xonXoffOut = (t.c_iflag & IXON) != 0;
    config.xonXoffIn = (t.c_iflag & IXOFF) != 0;
    config.xonChar = t.c_cc[VSTART];
    config.xoffChar = t.c_cc[VSTOP];
    return 0;
}

int InputQueued(int fd, int& bytes) {
    return Result(ioctl(fd, FIONREAD, &bytes));
}

int OutputQueued(int fd, int& bytes) {
    return Result(ioctl(fd, TIOCOUTQ, &bytes));
}

int Flush(int fd, bool input, bool output) {
    if (!input && !output) {
        return 0;
    }
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return Result(ioctl(fd, TCFLSH, which));
}

static_assert(LineDTR == TIOCM_DTR && LineRTS == TIOCM_RTS && LineCTS == TIOCM_CTS &&
              LineCD == TIOCM_CD && LineRI == TIOCM_RI && LineDSR == TIOCM_DSR);

int ModemLines(int fd, int& lines) {
    return Result(ioctl(fd, TIOCMGET, &lines));
}

int SetModemLine(int fd, int line, bool on) {
    return Result(ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line));
}

int ReadCounters(int fd, Counters& counters) {
    serial_icounter_struct icount{};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return errno;
    }
    counters.frame = icount.frame;
    counters.overrun = icount.overrun;
    counters.parity = icount.parity;
    counters.breaks = icount.brk;
    counters.bufferOverrun = icount.buf_overrun;
    counters.ring = icount.rng;
    return 0;
}

int SetRtsToggle(int fd, bool on) {
    serial_rs485 rs485{};
    if (on) {
        rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    }
    return Result(ioctl(fd, TIOCSRS485, &rs485));
}

bool IsUnsupported(int error) {
    // 515 is the kernel's ENOIOCTLCMD, which some drivers let escape to user space.
    return error == ENOTTY || error == EINVAL || error == ENOTSUP || error == 515;
}

}  // namespace Tty

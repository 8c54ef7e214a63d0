// SPDX-License-Identifier: MIT
#include "platform/posix/termios2_line.h"

// Only the kernel's headers here: see termios2_line.h.
#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace {

struct TableRate {
    uint32_t rate;
    tcflag_t code;
};

constexpr TableRate kTableRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t TableCodeFor(uint32_t rate) {
    for (const TableRate& entry : kTableRates) {
        if (entry.rate == rate) {
            return entry.code;
        }
    }
    return BOTHER;
}

uint32_t OutputRate(const termios2& t) {
    const tcflag_t code = t.c_cflag & CBAUD;
    if (code == BOTHER) {
        return t.c_ospeed;
    }
    for (const TableRate& entry : kTableRates) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;  // B0: the line is hung up
}

}  // namespace

int ReadTermios2Line(int fd, LineSettings& settings) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    settings.baudRate = OutputRate(t);
    switch (t.c_cflag & CSIZE) {
        case CS5:
            settings.dataBits = 5;
            break;
        case CS6:
            settings.dataBits = 6;
            break;
        case CS7:
            settings.dataBits = 7;
            break;
        default:
            settings.dataBits = 8;
            break;
    }
    if ((t.c_cflag & PARENB) == 0) {
        settings.parity = LineSettings::kNoParity;
    } else if ((t.c_cflag & CMSPAR) != 0) {
        settings.parity =
            (t.c_cflag & PARODD) != 0 ? LineSettings::kMarkParity : LineSettings::kSpaceParity;
    } else {
        settings.parity =
            (t.c_cflag & PARODD) != 0 ? LineSettings::kOddParity : LineSettings::kEvenParity;
    }
    settings.stopBits =
        (t.c_cflag & CSTOPB) != 0 ? LineSettings::kTwoStopBits : LineSettings::kOneStopBit;
    return 0;
}

int WriteTermios2Line(int fd, const LineSettings& settings) {
    if (!HasValidCodes(settings) || settings.stopBits == LineSettings::kOne5StopBits) {
        return EINVAL;
    }
    termios2 previous{};
    if (ioctl(fd, TCGETS2, &previous) != 0) {
        return errno;
    }
    termios2 t = previous;

    t.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                               ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL |
                                        ECHOPRT | ECHOKE | IEXTEN | TOSTOP);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB |
                                        CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[settings.dataBits - 5];
    switch (settings.parity) {
        case LineSettings::kOddParity:
            t.c_cflag |= PARENB | PARODD;
            break;
        case LineSettings::kEvenParity:
            t.c_cflag |= PARENB;
            break;
        case LineSettings::kMarkParity:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case LineSettings::kSpaceParity:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (settings.stopBits == LineSettings::kTwoStopBits) {
        t.c_cflag |= CSTOPB;
    }
    // Input speed follows the output speed (CIBAUD left 0).
    t.c_cflag |= TableCodeFor(settings.baudRate);
    t.c_ispeed = settings.baudRate;
    t.c_ospeed = settings.baudRate;

    if (ioctl(fd, TCSETS2, &t) != 0) {
        return errno;
    }
    // A driver that cannot make the rate either refuses it above or settles on another one.
    termios2 applied{};
    if (ioctl(fd, TCGETS2, &applied) != 0) {
        return errno;
    }
    const uint64_t got = OutputRate(applied);
    const uint64_t wanted = settings.baudRate;
    const uint64_t deviation = got > wanted ? got - wanted : wanted - got;
    if (deviation * 100 > wanted * 3) {
        static_cast<void>(ioctl(fd, TCSETS2, &previous));
        return EINVAL;
    }
    return 0;
}

int DiscardTerminalInput(int fd) {
    return ioctl(fd, TCFLSH, TCIFLUSH) == 0 ? 0 : errno;
}

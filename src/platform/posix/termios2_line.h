// SPDX-License-Identifier: MIT
#pragma once

#include "platform/line_settings.h"

// Line settings through the termios2 ioctls (TCGETS2/TCSETS2). Kept apart from the rest of the
// port code because the kernel's termios headers cannot share a translation unit with the C
// library's <termios.h>. The C library's tcsetattr is not used: it reads the settings back and
// reports EINVAL when they differ, which a pseudo-terminal always does for a parity or 7-bit
// request (it shows every line as 8 data bits, no parity).

// Reads baud rate, data bits, parity and stop bits of the open terminal fd into settings (the
// modem lines are left as they are). Returns 0 or the errno value of the failed call.
int ReadTermios2Line(int fd, LineSettings& settings);

// Puts the terminal into raw mode (no echo, no line editing, no character translation, no flow
// control, receiver on, modem status ignored, reads return at once) with the settings' baud
// rate, data bits, parity and stop bits. A rate outside the kernel's table is set as a custom
// rate. The settings' codes must be valid and the stop bits 1 or 2. When the driver does not
// take the rate (the rate read back is off by more than 3 %), the previous settings are put back
// and EINVAL is returned. Returns 0 or the errno value of the failed call.
int WriteTermios2Line(int fd, const LineSettings& settings);

// Drops whatever the terminal has received and not yet been read. Returns 0 or the errno value.
int DiscardTerminalInput(int fd);

// SPDX-License-Identifier: MIT
#include "platform/posix/pty_far_end.h"

#include <errno.h>
#include <unistd.h>

#include "platform/posix/monotonic_time.h"
#include "platform/posix/termios2_line.h"

bool PtyFarEnd::Create() {
    if (!pty_.Create(false)) {
        return false;
    }
    // Through the master side a pty's ioctls reach the slave's line: make it raw now, before
    // any program has opened it, so that its echo never returns what this end writes.
    LineSettings initial;
    initial.baudRate = 9600;
    if (WriteTermios2Line(pty_.MasterFd(), initial) != 0) {
        pty_.Close();
        return false;
    }
    lastLine_ = initial;
    return true;
}

uint64_t PtyFarEnd::NowUs() {
    return MonotonicMicroseconds();
}

bool PtyFarEnd::WaitReadable(uint32_t timeoutMs) {
    // While the program has its port closed the master is hung up; PseudoTerminal waits that
    // out in short pauses instead of spinning.
    return pty_.WaitReadable(timeoutMs);
}

size_t PtyFarEnd::Read(uint8_t* buffer, size_t maxCount) {
    return pty_.Read(buffer, maxCount);
}

bool PtyFarEnd::Write(const uint8_t* data, size_t count) {
    const int fd = pty_.MasterFd();
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t n = write(fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;  // EAGAIN: the program does not read; the rest is lost as on a line
        }
    }
    return true;
}

LineSettings PtyFarEnd::SenderLine() {
    LineSettings line = lastLine_;
    if (pty_.IsOpen() && ReadTermios2Line(pty_.MasterFd(), line) == 0 && line.baudRate > 0) {
        lastLine_ = line;
    }
    return lastLine_;
}

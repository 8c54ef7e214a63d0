// SPDX-License-Identifier: MIT
#include "platform/posix/pseudo_terminal.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "platform/posix/termios2_line.h"

namespace {

uint64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 +
           static_cast<uint64_t>(now.tv_nsec) / 1'000'000;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    Close();
}

bool PseudoTerminal::Create(bool holdSlave) {
    Close();
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    char name[128] = {};
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0 || grantpt(fd) != 0 ||
        unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        close(fd);
        return false;
    }
    masterFd_ = fd;
    slavePath_ = name;
    if (holdSlave) {
        heldSlaveFd_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (heldSlaveFd_ < 0) {
            Close();
            return false;
        }
    }
    return true;
}

void PseudoTerminal::CloseMaster() {
    if (masterFd_ >= 0) {
        close(masterFd_);
        masterFd_ = -1;
    }
}

void PseudoTerminal::Close() {
    if (heldSlaveFd_ >= 0) {
        close(heldSlaveFd_);
        heldSlaveFd_ = -1;
    }
    CloseMaster();
    slavePath_.clear();
}

size_t PseudoTerminal::Read(uint8_t* buffer, size_t maxCount) {
    if (masterFd_ < 0) {
        return 0;
    }
    size_t total = 0;
    while (total < maxCount) {
        const ssize_t n = read(masterFd_, buffer + total, maxCount - total);
        if (n > 0) {
            total += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // nothing queued (EAGAIN) or the slave side is closed (EIO)
        }
    }
    return total;
}

bool PseudoTerminal::Write(const uint8_t* data, size_t count) {
    if (masterFd_ < 0) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t n = write(masterFd_, data + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd waitFor{masterFd_, POLLOUT, 0};
            const int ready = poll(&waitFor, 1, 1000);
            if (ready == 0 || (ready < 0 && errno != EINTR)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

bool PseudoTerminal::WaitReadable(uint32_t timeoutMs) {
    if (masterFd_ < 0) {
        return false;
    }
    const uint64_t deadline = MonotonicMs() + timeoutMs;
    for (;;) {
        const uint64_t now = MonotonicMs();
        const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
        pollfd waitFor{masterFd_, POLLIN, 0};
        const int ready = poll(&waitFor, 1, left);
        if (ready > 0 && (waitFor.revents & POLLIN) != 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (left == 0) {
            return false;
        }
        if (ready > 0) {
            // Hung up: the program has the slave side closed. Poll would report that at once
            // again, so pause briefly before looking again.
            timespec pause{0, 1'000'000};
            nanosleep(&pause, nullptr);
        }
    }
}

bool PseudoTerminal::SlaveLine(LineSettings& settings) {
    return heldSlaveFd_ >= 0 && ReadTermios2Line(heldSlaveFd_, settings) == 0;
}

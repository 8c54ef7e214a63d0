// SPDX-License-Identifier: MIT
#include "platform/posix/tty_far_end.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "platform/posix/monotonic_time.h"
#include "platform/posix/termios2_line.h"

namespace {

constexpr int kWriteStallMs = 2000;

void PauseMs(long ms) {
    timespec pause{0, ms * 1'000'000};
    nanosleep(&pause, nullptr);
}

}  // namespace

TtyFarEnd::~TtyFarEnd() {
    Close();
}

int TtyFarEnd::Open(const std::string& path) {
    Close();
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (isatty(fd) == 0) {
        error = ENOTTY;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = WriteTermios2Line(fd, listening_);
    }
    if (error != 0) {
        close(fd);
        return error;
    }
    DiscardTerminalInput(fd);
    fd_ = fd;
    broken_ = false;
    return 0;
}

void TtyFarEnd::Close() {
    if (fd_ < 0) {
        return;
    }
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

uint64_t TtyFarEnd::NowUs() {
    return MonotonicMicroseconds();
}

bool TtyFarEnd::WaitReadable(uint32_t timeoutMs) {
    if (fd_ < 0 || broken_) {
        PauseMs(timeoutMs);
        return false;
    }
    pollfd waitFor{fd_, POLLIN, 0};
    const int ready = poll(&waitFor, 1, static_cast<int>(timeoutMs));
    if (ready > 0 && (waitFor.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
        (waitFor.revents & POLLIN) == 0) {
        broken_ = true;  // the adapter is gone
        return false;
    }
    return ready > 0 && (waitFor.revents & POLLIN) != 0;
}

size_t TtyFarEnd::Read(uint8_t* buffer, size_t maxCount) {
    if (fd_ < 0) {
        return 0;
    }
    size_t total = 0;
    while (total < maxCount) {
        const ssize_t n = read(fd_, buffer + total, maxCount - total);
        if (n > 0) {
            total += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // 0 is "nothing queued" on a raw line (VMIN and VTIME 0); a hang-up shows in poll.
            if (n < 0 && errno != EAGAIN) {
                broken_ = true;
            }
            break;
        }
    }
    return total;
}

bool TtyFarEnd::Write(const uint8_t* data, size_t count) {
    if (fd_ < 0) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t n = write(fd_, data + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd waitFor{fd_, POLLOUT, 0};
            if (poll(&waitFor, 1, kWriteStallMs) <= 0) {
                return false;
            }
        } else {
            broken_ = true;
            return false;
        }
    }
    return true;
}

bool TtyFarEnd::Listen(const LineSettings& settings) {
    if (fd_ < 0) {
        listening_ = settings;
        return true;
    }
    // A new rate while the transmitter still shifts out the last answer would garble it.
    tcdrain(fd_);
    if (WriteTermios2Line(fd_, settings) != 0) {
        return false;
    }
    listening_ = settings;
    return true;
}

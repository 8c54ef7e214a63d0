// SPDX-License-Identifier: MIT
#include "platform/posix/posix_serial_device.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/posix/termios2_line.h"

namespace {

// Size of a typical driver transmit buffer, for the default write timeout.
constexpr uint64_t kDriverBufferBytes = 4096;

uint64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 +
           static_cast<uint64_t>(now.tv_nsec) / 1'000'000;
}

void SleepOneMs() {
    timespec pause{0, 1'000'000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// How a port answers an ioctl it has no use for (a pseudo-terminal has no modem lines and no
// UART status).
bool IsUnsupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

// Sets or clears one modem line; false only for a real failure.
bool SetModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) {
        return true;
    }
    return IsUnsupported(errno);
}

// The names of a group and of a user, empty when the system has none.
std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return {};
    }
    return found->gr_name;
}

std::string UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return {};
    }
    return found->pw_name;
}

// What an errno value of an open says to the user. For a refused permission, the group that
// may read and write the device file is named, so that joining it is the fix; a file whose
// group may not do both gets no such advice.
OpenFailure DescribeOpenError(const std::string& path, int error) {
    OpenFailure failure;
    switch (error) {
        case 0:
            return failure;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            failure.kind = OpenFailure::Kind::kNoSuchPort;
            return failure;
        case EBUSY:
            failure.kind = OpenFailure::Kind::kBusy;
            return failure;
        case EACCES:
        case EPERM: {
            failure.kind = OpenFailure::Kind::kNoPermission;
            struct stat info {};
            if (stat(path.c_str(), &info) == 0 && (info.st_mode & S_IRGRP) != 0 &&
                (info.st_mode & S_IWGRP) != 0) {
                failure.group = GroupName(info.st_gid);
                failure.user = UserName(geteuid());
                if (failure.group.empty() || failure.user.empty()) {
                    failure.group.clear();
                    failure.user.clear();
                }
            }
            return failure;
        }
        default:
            failure.kind = OpenFailure::Kind::kOther;
            failure.detail = strerror(error);
            return failure;
    }
}

}  // namespace

PosixSerialDevice::~PosixSerialDevice() {
    Close();
}

std::string PosixSerialDevice::DevicePath(const std::string& portName) {
    if (!portName.empty() && portName.front() == '/') {
        return portName;
    }
    return "/dev/" + portName;
}

bool PosixSerialDevice::Open(const std::string& portName) {
    const std::string path = portName.empty() ? std::string() : DevicePath(portName);
    const auto fail = [this, &path](int error) {
        lastOpenError_ = error;
        lastOpenFailure_ = DescribeOpenError(path, error);
        return false;
    };
    if (fd_ >= 0) {
        return fail(EBUSY);
    }
    if (portName.empty()) {
        return fail(ENOENT);
    }
    // Non-blocking: the open does not wait for carrier, and reads never wait for bytes.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(errno);
    }
    int error = 0;
    if (isatty(fd) == 0) {
        error = ENOTTY;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
    }
    if (error != 0) {
        close(fd);
        return fail(error);
    }
    // A port starts with an empty receive queue, as a real one does: bytes that reached a
    // pseudo-terminal while nobody had it open would otherwise still be waiting.
    DiscardTerminalInput(fd);
    fd_ = fd;
    lastOpenError_ = 0;
    lastOpenFailure_ = {};
    LineSettings current;
    if (ReadTermios2Line(fd_, current) == 0 && current.baudRate > 0) {
        baudRate_ = current.baudRate;
    }
    return true;
}

void PosixSerialDevice::Close() {
    if (fd_ < 0) {
        return;
    }
    // The exclusive mode belongs to the tty, not to this descriptor: it would outlive the close
    // while another descriptor (the far side of a pty) keeps the tty, and refuse the next open.
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

bool PosixSerialDevice::GetLine(LineSettings& settings) {
    if (fd_ < 0) {
        return false;
    }
    LineSettings read = settings;
    if (ReadTermios2Line(fd_, read) != 0) {
        return false;
    }
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) == 0) {
        read.dtrOn = (lines & TIOCM_DTR) != 0;
        read.rtsOn = (lines & TIOCM_RTS) != 0;
    } else {
        read.dtrOn = dtrOn_;
        read.rtsOn = rtsOn_;
    }
    settings = read;
    return true;
}

bool PosixSerialDevice::SetLine(const LineSettings& settings) {
    if (fd_ < 0) {
        return false;
    }
    if (WriteTermios2Line(fd_, settings) != 0) {
        return false;
    }
    baudRate_ = settings.baudRate;
    if (!SetModemLine(fd_, TIOCM_DTR, settings.dtrOn) ||
        !SetModemLine(fd_, TIOCM_RTS, settings.rtsOn)) {
        return false;
    }
    dtrOn_ = settings.dtrOn;
    rtsOn_ = settings.rtsOn;
    return true;
}

size_t PosixSerialDevice::QueuedCount() {
    // Line errors are not latched on this platform (the driver counts them), so there is
    // nothing to clear here.
    int queued = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &queued) != 0 || queued < 0) {
        return 0;
    }
    return static_cast<size_t>(queued);
}

size_t PosixSerialDevice::Read(uint8_t* buffer, size_t maxCount) {
    if (fd_ < 0 || buffer == nullptr) {
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
            break;  // nothing more queued (EAGAIN), end of file after a hang-up, or an error
        }
    }
    return total;
}

int PosixSerialDevice::StallTimeoutMs() const {
    if (writeTimeoutMs_ != 0) {
        return static_cast<int>(std::min<uint32_t>(writeTimeoutMs_, 0x7FFF'FFFF));
    }
    // A full driver buffer at 11 bits a character, plus a second of margin.
    const uint64_t ms = 1000 + kDriverBufferBytes * 11 * 1000 / std::max<uint32_t>(baudRate_, 1);
    return static_cast<int>(std::min<uint64_t>(ms, 0x7FFF'FFFF));
}

bool PosixSerialDevice::Write(const uint8_t* data, size_t count) {
    if (fd_ < 0) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t n = write(fd_, data + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd waitFor{fd_, POLLOUT, 0};
            const int ready = poll(&waitFor, 1, StallTimeoutMs());
            if (ready > 0 || (ready < 0 && errno == EINTR)) {
                continue;  // room again, or the error shows on the next write
            }
            return false;  // no progress within the timeout
        }
        return false;  // EIO after a hang-up, or another failure
    }
    return true;
}

bool PosixSerialDevice::WaitTransmitEmpty(uint32_t timeoutMs) {
    if (fd_ < 0) {
        return false;
    }
    const uint64_t start = MonotonicMs();
    bool checkShifter = true;
    for (;;) {
        int pending = 0;
        if (ioctl(fd_, TIOCOUTQ, &pending) != 0) {
            return false;
        }
        if (pending == 0 && checkShifter) {
            // The driver's queue is empty; a UART that can tell also has to finish its shift
            // register. Ports that cannot tell count as empty now.
            unsigned int status = 0;
            if (ioctl(fd_, TIOCSERGETLSR, &status) != 0) {
                if (!IsUnsupported(errno)) {
                    return false;
                }
                checkShifter = false;
            } else if ((status & TIOCSER_TEMT) != 0) {
                return true;
            }
        }
        if (pending == 0 && !checkShifter) {
            return true;
        }
        if (MonotonicMs() - start >= timeoutMs) {
            return false;
        }
        SleepOneMs();
    }
}

// SPDX-License-Identifier: MIT
#include "platform/posix/published_port.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/user_dirs.h"

namespace {

std::string ErrorText(int error) {
    char buffer[256] = {};
    // The GNU variant returns the text (possibly not in buffer).
    return strerror_r(error, buffer, sizeof buffer);
}

std::string OctalMode(mode_t mode) {
    std::string text;
    for (int shift = 9; shift >= 0; shift -= 3) {
        text.push_back(static_cast<char>('0' + ((mode >> shift) & 7)));
    }
    return text;
}

bool ValidName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos;
}

}  // namespace

PortPublication::~PortPublication() {
    Withdraw();
}

bool PortPublication::Publish(const std::string& name, const std::string& target,
                              std::string& error) {
    Withdraw();
    if (!ValidName(name)) {
        error = "invalid port name \"" + name + "\"";
        return false;
    }
    const std::string dir = PublishedPortDirectory();
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + dir + ": " + ErrorText(errno);
        return false;
    }
    struct stat info {};
    if (!IsPrivateDirectory(dir)) {
        if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error = dir + " is not a directory";
        } else if (info.st_uid != getuid()) {
            error = dir + " belongs to another user";
        } else {
            error = dir + " is not private (mode " + OctalMode(info.st_mode & 07777) +
                    "); remove it or make it 0700";
        }
        return false;
    }

    const std::string lockPath = dir + "/." + name + ".lock";
    const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0) {
        error = "cannot open " + lockPath + ": " + ErrorText(errno);
        return false;
    }
    if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        close(lockFd);
        error = lockError == EWOULDBLOCK
                    ? "the name \"" + name + "\" is in use by another simulator"
                    : "cannot lock " + lockPath + ": " + ErrorText(lockError);
        return false;
    }

    // A link made beside the final name and renamed over it: a program listing the directory
    // sees the old link or the new one, never none.
    const std::string path = dir + "/" + name;
    const std::string temporary = dir + "/." + name + "." + std::to_string(getpid()) + ".new";
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot publish " + path + ": " + ErrorText(errno);
        unlink(temporary.c_str());
        close(lockFd);
        return false;
    }
    path_ = path;
    target_ = target;
    lockFd_ = lockFd;
    return true;
}

void PortPublication::Withdraw() {
    if (!path_.empty()) {
        char buffer[4096];
        const ssize_t n = readlink(path_.c_str(), buffer, sizeof buffer);
        if (n > 0 && std::string(buffer, static_cast<size_t>(n)) == target_) {
            unlink(path_.c_str());
        }
        path_.clear();
        target_.clear();
    }
    if (lockFd_ >= 0) {
        close(lockFd_);  // the lock file stays: removing it would race with the next taker
        lockFd_ = -1;
    }
}

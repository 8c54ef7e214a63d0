// SPDX-License-Identifier: MIT
// A test-only library for Wine's process (LD_PRELOAD): a pseudo-terminal cannot keep parity or
// 7 data bits, and tcsetattr reports EINVAL when nothing asked for could be kept, so a second
// SetCommState with parity fails under Wine where a real UART takes it. This turns that EINVAL,
// for a parity or 7-bit request on a pseudo-terminal, into success.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stddef.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

// The Unix 98 pseudo-terminal slaves have the majors 136 to 143.
static int IsPseudoTerminal(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return 0;
    }
    const unsigned int deviceMajor = major(info.st_rdev);
    return deviceMajor >= 136 && deviceMajor <= 143;
}

int tcsetattr(int fd, int when, const struct termios* settings) {
    typedef int (*TcSetAttr)(int, int, const struct termios*);
    static TcSetAttr real = NULL;
    if (real == NULL) {
        real = (TcSetAttr)dlsym(RTLD_NEXT, "tcsetattr");
        if (real == NULL) {
            errno = ENOSYS;
            return -1;
        }
    }
    const int result = real(fd, when, settings);
    if (result != 0 && errno == EINVAL && settings != NULL && IsPseudoTerminal(fd) &&
        ((settings->c_cflag & PARENB) != 0 || (settings->c_cflag & CSIZE) != CS8)) {
        return 0;
    }
    return result;
}

// SPDX-License-Identifier: MIT
#include "platform/posix/user_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// An environment value that is an absolute path, or empty.
std::string AbsolutePathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

std::string HomeDirectory() {
    std::string home = AbsolutePathFromEnvironment("HOME");
    if (!home.empty()) {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid());
        entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') {
        return entry->pw_dir;
    }
    return {};
}

}  // namespace

std::string UserSettingsPath() {
    std::string base = AbsolutePathFromEnvironment("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = HomeDirectory();
        if (home.empty()) {
            return {};
        }
        base = home + "/.config";
    }
    return base + "/corvanta/settings.ini";
}

std::string PublishedPortDirectory() {
    const std::string runtime = AbsolutePathFromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.empty()) {
        return runtime + "/transducer-sim";
    }
    return "/tmp/transducer-sim-" + std::to_string(getuid());
}

bool IsPrivateDirectory(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    return info.st_uid == getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

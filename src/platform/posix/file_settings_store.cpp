// SPDX-License-Identifier: MIT
#include "platform/posix/file_settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/settings_text.h"

namespace {

// Creates the folders of path that are missing, each private to the user.
bool MakeParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != path.npos; slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::string> FileSettingsStore::ReadFileText() const {
    if (path_.empty()) {
        return std::nullopt;
    }
    const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> text;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<size_t>(info.st_size) <= kMaxFileBytes) {
        std::string bytes(kMaxFileBytes + 1, '\0');
        size_t got = 0;
        bool failed = false;
        while (got < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                failed = true;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        // A file that grew past the limit while being read counts as oversized.
        if (!failed && got <= kMaxFileBytes) {
            bytes.resize(got);
            text = std::move(bytes);
        }
    }
    close(fd);
    if (text && !IsValidUtf8(*text)) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> FileSettingsStore::Read(const std::string& key) {
    const std::optional<std::string> text = ReadFileText();
    if (!text) {
        return std::nullopt;
    }
    return FindSetting(ParseSettingsText(*text), key);
}

bool FileSettingsStore::Write(const std::string& key, const std::string& value) {
    if (path_.empty() || path_.front() != '/' || !IsValidUtf8(value)) {
        return false;
    }
    SettingsEntries entries;
    if (const std::optional<std::string> text = ReadFileText()) {
        entries = ParseSettingsText(*text);
    }
    if (!SetSetting(entries, key, value)) {
        return false;
    }
    const std::string text = FormatSettingsText(entries);
    if (text.size() > kMaxFileBytes || !MakeParentDirectories(path_)) {
        return false;
    }
    std::string temporary = path_ + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), path_.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
    }
    return ok;
}

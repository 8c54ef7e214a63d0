// SPDX-License-Identifier: MIT
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/file_sink.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
// The UTF-8 name as the system's (UTF-16) name; nothing when it is not well-formed.
std::optional<std::filesystem::path> SystemName(const std::string& path) {
    try {
        return std::filesystem::path(std::u8string(path.begin(), path.end()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
#endif

// Opens the file of the UTF-8 name. Windows is given the name in UTF-16, so that any name
// works, whatever the code page of the process.
std::FILE* OpenNamed(const std::string& path, const wchar_t* wideMode, const char* mode) {
#if defined(_WIN32)
    (void)mode;
    const std::optional<std::filesystem::path> name = SystemName(path);
    return name ? _wfopen(name->c_str(), wideMode) : nullptr;
#else
    (void)wideMode;
    return std::fopen(path.c_str(), mode);
#endif
}

// Cuts the file back to `size` bytes and puts the write position there.
bool TruncateTo(std::FILE* file, long size) {
#if defined(_WIN32)
    const bool cut = _chsize_s(_fileno(file), size) == 0;
#else
    const bool cut = ::ftruncate(::fileno(file), size) == 0;
#endif
    std::clearerr(file);
    return std::fseek(file, size, SEEK_SET) == 0 && cut;
}

// The open file can no longer be reached under its name: the name was removed, or it leads
// elsewhere or nowhere (its folder renamed, removed, or a stick pulled out with it). Windows
// refuses to remove or rename an open file, so there only a name that leads nowhere counts.
bool Unreachable(std::FILE* file, const std::string& path) {
#if defined(_WIN32)
    (void)file;
    std::error_code error;
    const std::optional<std::filesystem::path> name = SystemName(path);
    return !name || !std::filesystem::exists(*name, error);
#else
    struct stat open {};
    struct stat named {};
    if (::fstat(::fileno(file), &open) != 0 || open.st_nlink == 0) {
        return true;
    }
    return ::stat(path.c_str(), &named) != 0 || named.st_dev != open.st_dev ||
           named.st_ino != open.st_ino;
#endif
}

class StdFileSink : public FileSink {
  public:
    StdFileSink(std::FILE* file, std::string path, long size)
        : file_(file), path_(std::move(path)), size_(size) {}
    ~StdFileSink() override { std::fclose(file_); }
    StdFileSink(const StdFileSink&) = delete;
    StdFileSink& operator=(const StdFileSink&) = delete;

    bool Write(std::string_view bytes) override {
        if (Unreachable(file_, path_)) {
            return false;
        }
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
            // A full disk takes part of the bytes: cut them off again, so that the file ends
            // where the last whole write ended.
            TruncateTo(file_, size_);
            return false;
        }
        size_ += static_cast<long>(bytes.size());
        return true;
    }
    bool Flush() override { return std::fflush(file_) == 0; }
    bool Removed() override { return Unreachable(file_, path_); }

  private:
    std::FILE* file_;
    std::string path_;
    long size_;  // bytes the file holds: all whole writes
};

// Unbuffered: a write goes to the operating system at once or fails at once, and a failed one
// leaves nothing behind in a buffer to be written later out of order.
std::unique_ptr<FileSink> SinkOf(std::FILE* file, const std::string& path, long size) {
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<StdFileSink>(file, path, size);
}

}  // namespace

std::unique_ptr<FileSink> StdFileSystem::Create(const std::string& path) {
    std::FILE* file = OpenNamed(path, L"wb", "wb");
    if (file == nullptr) {
        return nullptr;
    }
    return SinkOf(file, path, 0);
}

std::unique_ptr<FileSink> StdFileSystem::OpenForAppend(const std::string& path) {
    // "r+" opens only a file that exists; the writes go on at its end.
    std::FILE* file = OpenNamed(path, L"r+b", "r+b");
    if (file == nullptr) {
        return nullptr;
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        size = std::ftell(file);
    }
    if (size < 0) {
        std::fclose(file);
        return nullptr;
    }
    return SinkOf(file, path, size);
}

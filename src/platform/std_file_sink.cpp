#include <cstdio>

#include "platform/file_sink.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

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

// The file has no name left in the file system (POSIX lets an open file be removed; Windows
// refuses to remove it while it is open).
bool HasNoName(std::FILE* file) {
#if defined(_WIN32)
    (void)file;
    return false;
#else
    struct stat status {};
    return ::fstat(::fileno(file), &status) == 0 && status.st_nlink == 0;
#endif
}

class StdFileSink : public FileSink {
  public:
    explicit StdFileSink(std::FILE* file) : file_(file) {}
    ~StdFileSink() override { std::fclose(file_); }
    StdFileSink(const StdFileSink&) = delete;
    StdFileSink& operator=(const StdFileSink&) = delete;

    bool Write(std::string_view bytes) override {
        if (HasNoName(file_)) {
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
    bool Removed() override { return HasNoName(file_); }

  private:
    std::FILE* file_;
    long size_ = 0;  // bytes the file holds: all whole writes
};

}  // namespace

std::unique_ptr<FileSink> StdFileSystem::Create(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return nullptr;
    }
    // Unbuffered: a write goes to the operating system at once or fails at once, and a failed
    // one leaves nothing behind in a buffer to be written later out of order.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<StdFileSink>(file);
}

#include <cstdio>

#include "platform/file_sink.h"

namespace {

class StdFileSink : public FileSink {
  public:
    explicit StdFileSink(std::FILE* file) : file_(file) {}
    ~StdFileSink() override { std::fclose(file_); }
    StdFileSink(const StdFileSink&) = delete;
    StdFileSink& operator=(const StdFileSink&) = delete;

    bool Write(std::string_view bytes) override {
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }
    bool Flush() override { return std::fflush(file_) == 0; }

  private:
    std::FILE* file_;
};

}  // namespace

std::unique_ptr<FileSink> StdFileSystem::Create(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return nullptr;
    }
    return std::make_unique<StdFileSink>(file);
}

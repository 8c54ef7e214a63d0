#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/file_sink.h"

// Files kept in memory, for tests of everything that writes files. A path can be made
// uncreatable, and writes can be made to fail (a full disk) from some moment on.
class MemoryFileSystem : public FileSystem {
  public:
    std::unique_ptr<FileSink> Create(const std::string& path) override {
        if (uncreatable.count(path) != 0) {
            return nullptr;
        }
        files[path].clear();
        ++createCount;
        return std::make_unique<Sink>(*this, path);
    }

    std::map<std::string, std::string> files;
    std::set<std::string> uncreatable;
    bool diskFull = false;
    int createCount = 0;

  private:
    class Sink : public FileSink {
      public:
        Sink(MemoryFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
        bool Write(std::string_view bytes) override {
            if (fs_.diskFull) {
                return false;
            }
            fs_.files[path_].append(bytes);
            return true;
        }
        bool Flush() override { return !fs_.diskFull; }

      private:
        MemoryFileSystem& fs_;
        std::string path_;
    };
};

#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/file_sink.h"

// Files kept in memory, for tests of everything that writes files. A path can be made
// uncreatable, writes can be made to fail (a full disk) from some moment on, and a file can be
// removed while it is open (its sink then refuses writes, as the real one does).
class MemoryFileSystem : public FileSystem {
  public:
    std::unique_ptr<FileSink> Create(const std::string& path) override {
        if (uncreatable.count(path) != 0) {
            return nullptr;
        }
        files[path].clear();
        ++createCount;
        return std::make_unique<Sink>(*this, path, ++generation_[path]);
    }

    // Removes the file: its open sink is left without a name.
    void Remove(const std::string& path) {
        files.erase(path);
        ++generation_[path];
    }

    std::map<std::string, std::string> files;
    std::set<std::string> uncreatable;
    bool diskFull = false;
    int createCount = 0;

  private:
    class Sink : public FileSink {
      public:
        Sink(MemoryFileSystem& fs, std::string path, int generation)
            : fs_(fs), path_(std::move(path)), generation_(generation) {}
        bool Write(std::string_view bytes) override {
            if (fs_.diskFull || Removed()) {
                return false;
            }
            fs_.files[path_].append(bytes);
            return true;
        }
        bool Flush() override { return !fs_.diskFull; }
        bool Removed() override { return fs_.generation_[path_] != generation_; }

      private:
        MemoryFileSystem& fs_;
        std::string path_;
        int generation_;
    };

    std::map<std::string, int> generation_;
};

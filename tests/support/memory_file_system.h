// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/file_sink.h"

// Files kept in memory, for tests of everything that writes files. A path can be made
// uncreatable, writes can be made to fail (a full disk) from some moment on, a file can be
// removed while it is open (its sink then refuses writes, as the real one does), and the
// folder of all files can be pulled out like a stick and plugged back in, with or without its
// files.
class MemoryFileSystem : public FileSystem {
  public:
    std::unique_ptr<FileSink> Create(const std::string& path) override {
        if (uncreatable.count(path) != 0 || pulledOut_) {
            return nullptr;
        }
        files[path].clear();
        ++createCount;
        return std::make_unique<Sink>(*this, path, ++generation_[path]);
    }
    std::unique_ptr<FileSink> OpenForAppend(const std::string& path) override {
        if (pulledOut_ || files.count(path) == 0) {
            return nullptr;
        }
        return std::make_unique<Sink>(*this, path, ++generation_[path]);
    }

    // Removes the file: its open sink is left without a name.
    void Remove(const std::string& path) {
        files.erase(path);
        ++generation_[path];
    }
    // The folder goes: nothing can be created or opened, and every open sink is dead for good
    // (a stick pulled out takes its open files with it).
    void PullOut() {
        pulledOut_ = true;
        for (auto& [path, generation] : generation_) {
            ++generation;
        }
    }
    // The folder is back; keepFiles: with the files it held (the same stick), else empty.
    void PlugBackIn(bool keepFiles) {
        pulledOut_ = false;
        if (!keepFiles) {
            files.clear();
        }
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
    bool pulledOut_ = false;
};

// SPDX-License-Identifier: MIT
#pragma once

#if !defined(_WIN32)
#include <sys/mount.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

// A small tmpfs mounted for a test in a fresh folder, so that a disk really fills up (needs the
// right to mount: root, or a user namespace that grants it). mounted() is false where that is
// not permitted (and on Windows, which has no tmpfs); the test then skips.
class SmallFileSystem {
  public:
    explicit SmallFileSystem(const std::string& size = "64k") {
#if defined(_WIN32)
        (void)size;
        why_ = "no tmpfs on Windows";
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "small-fs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        dir_ = pattern;
        const std::string options = "size=" + size + ",mode=0700";
        mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!mounted_) {
            why_ = std::string("mount -t tmpfs: ") + std::strerror(errno);
        }
#endif
    }
    ~SmallFileSystem() {
#if !defined(_WIN32)
        if (mounted_) {
            ::umount2(dir_.c_str(), MNT_DETACH);
        }
#endif
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Takes every free block with a file of its own; returns the bytes it took.
    size_t Fill(const std::string& name = "filler") {
        std::FILE* file = std::fopen(Path(name).c_str(), "wb");
        if (file == nullptr) {
            return 0;
        }
        std::setvbuf(file, nullptr, _IONBF, 0);
        const std::string block(512, 'z');
        size_t taken = 0;
        while (std::fwrite(block.data(), 1, block.size(), file) == block.size()) {
            taken += block.size();
        }
        std::fclose(file);
        return taken;
    }
    // Gives the blocks back.
    void Free(const std::string& name = "filler") { std::remove(Path(name).c_str()); }

  private:
    std::string dir_;
    std::string why_;
    bool mounted_ = false;
};

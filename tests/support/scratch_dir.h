// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

// A fresh folder under the system's temporary folder for one test, removed with everything in
// it when the test ends.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& prefix) {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

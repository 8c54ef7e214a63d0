// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

#include "platform/settings_store.h"

// The settings in a small text file (see settings_text.h). A missing, unreadable, oversized
// or malformed (not UTF-8) file reads as holding no values. A write replaces the file as a
// whole: the new text goes to a temporary file in the same folder, which is then renamed over
// the old one, so that a reader never sees half a file. Missing folders are created, private
// to the user.
class FileSettingsStore : public SettingsStore {
  public:
    // Files larger than this are not read.
    static constexpr size_t kMaxFileBytes = 64 * 1024;

    explicit FileSettingsStore(std::string path) : path_(std::move(path)) {}

    std::optional<std::string> Read(const std::string& key) override;
    bool Write(const std::string& key, const std::string& value) override;

    const std::string& path() const { return path_; }

  private:
    std::optional<std::string> ReadFileText() const;

    std::string path_;
};

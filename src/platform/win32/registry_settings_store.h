// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/settings_store.h"

// The settings as values of one registry key under HKEY_CURRENT_USER, "Software\Corvanta" for
// the programs: each setting a REG_SZ value named by its key, written with its terminating
// zero. The key is created when missing (full access) and closed again after every read or
// write. A value is read into a buffer of kReadBufferBytes, so that one of more than 31
// characters cannot be read. Text is UTF-8 here and UTF-16 in the registry.
class RegistrySettingsStore : public SettingsStore {
  public:
    static constexpr const char* kProgramsKey = "Software\\Corvanta";
    static constexpr size_t kReadBufferBytes = 64;

    explicit RegistrySettingsStore(std::string keyPath = kProgramsKey)
        : keyPath_(std::move(keyPath)) {}

    // Nothing when the key cannot be created, the value is missing, is not REG_SZ or does not
    // fit the buffer.
    std::optional<std::string> Read(const std::string& key) override;
    bool Write(const std::string& key, const std::string& value) override;

    const std::string& keyPath() const { return keyPath_; }

  private:
    std::string keyPath_;
};

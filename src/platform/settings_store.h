// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

// The user's settings that outlive the program, shared by both programs: a few named texts.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The stored text; nothing when it is missing, cannot be read or is not acceptable.
    virtual std::optional<std::string> Read(const std::string& key) = 0;
    // Stores the text, keeping the other values; false when it could not be stored.
    virtual bool Write(const std::string& key, const std::string& value) = 0;
};

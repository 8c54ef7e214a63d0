// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text of the settings file: "key=value" lines under a "[Corvanta]" heading, in the order
// they were written. Blank lines, comments (# or ;) and lines without "=" are skipped when
// read; keys are compared exactly.
using SettingsEntries = std::vector<std::pair<std::string, std::string>>;

SettingsEntries ParseSettingsText(std::string_view text);
std::string FormatSettingsText(const SettingsEntries& entries);

std::optional<std::string> FindSetting(const SettingsEntries& entries, std::string_view key);
// Replaces the key's value or appends the key. False (and nothing changed) when the key or the
// value cannot be stored on one line: an empty key, a key with "=", a line end in either.
bool SetSetting(SettingsEntries& entries, const std::string& key, const std::string& value);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);
// The number of characters (code points) of well-formed UTF-8 text.
size_t Utf8Length(std::string_view text);

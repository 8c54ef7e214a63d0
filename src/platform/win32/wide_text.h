// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

// UTF-8 (the programs' text) to UTF-16 (the W functions' text) and back. Nothing for text that
// is not well-formed in its encoding.
std::optional<std::wstring> WideFromUtf8(std::string_view text);
std::optional<std::string> Utf8FromWide(std::wstring_view text);

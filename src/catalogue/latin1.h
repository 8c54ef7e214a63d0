// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The transducer's texts are one byte per character, the character having the byte's code
// (ISO 8859-1). Inside the programs text is UTF-8.

// Each byte becomes the character with that code, encoded as UTF-8.
std::string Latin1ToUtf8(std::span<const uint8_t> bytes);

// The inverse: each character of the UTF-8 text becomes one byte. A character above code 255
// or a malformed sequence becomes '?'.
std::vector<uint8_t> Utf8ToLatin1(std::string_view text);

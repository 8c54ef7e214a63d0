// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Bytes written as hex text, two digits a byte and blanks between them, in both directions:
// Hex("01 04 0C") is {0x01, 0x04, 0x0C}, and Hex(bytes) writes them back the same way, so that a
// test states frames as they are read off a line monitor and a failure shows them so.

inline std::vector<uint8_t> Hex(std::string_view text) {
    const auto digit = [text](char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        // A typo in a test's frame must not shift the bytes after it.
        throw std::invalid_argument("not a hex byte in \"" + std::string(text) + "\"");
    };
    std::vector<uint8_t> bytes;
    size_t pos = 0;
    while ((pos = text.find_first_not_of(" \t\n", pos)) != std::string_view::npos) {
        const size_t end = std::min(text.find_first_of(" \t\n", pos), text.size());
        if (end - pos != 2) {
            throw std::invalid_argument("a byte takes two digits in \"" + std::string(text) + "\"");
        }
        bytes.push_back(static_cast<uint8_t>(digit(text[pos]) * 16 + digit(text[pos + 1])));
        pos = end;
    }
    return bytes;
}

inline std::string Hex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

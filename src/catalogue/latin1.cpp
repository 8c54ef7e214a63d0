// SPDX-License-Identifier: MIT
#include "catalogue/latin1.h"

std::string Latin1ToUtf8(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (uint8_t b : bytes) {
        if (b < 0x80) {
            text.push_back(static_cast<char>(b));
        } else {
            text.push_back(static_cast<char>(0xC0 | (b >> 6)));
            text.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return text;
}

std::vector<uint8_t> Utf8ToLatin1(std::string_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        if (lead < 0x80) {
            bytes.push_back(lead);
            ++i;
            continue;
        }
        // Length of the sequence from its lead byte; 0 for a byte that cannot lead one.
        size_t length = 0;
        uint32_t code = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07u;
        }
        size_t taken = 1;
        bool valid = length != 0 && i + length <= text.size();
        for (; valid && taken < length; ++taken) {
            const auto next = static_cast<uint8_t>(text[i + taken]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        bytes.push_back(valid && code <= 0xFF && length == 2 && code >= 0x80
                            ? static_cast<uint8_t>(code)
                            : static_cast<uint8_t>('?'));
        i += valid ? length : taken;
    }
    return bytes;
}

// SPDX-License-Identifier: MIT
#include "iec101/iec101_types.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

uint32_t ParseHexAddress(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
    }
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) {
            break;
        }
        value = value * 16 + static_cast<uint64_t>(d);
        if (value > 0xFFFF'FFFFull) {
            return 0xFFFF'FFFFu;
        }
    }
    return static_cast<uint32_t>(value);
}

std::vector<IecParameter> IecParametersFromTexts(const std::vector<std::string>& triples) {
    std::vector<IecParameter> result;
    for (size_t i = 0; i + 2 < triples.size(); i += 3) {
        result.push_back({triples[i], ParseHexAddress(triples[i + 1])});
    }
    return result;
}

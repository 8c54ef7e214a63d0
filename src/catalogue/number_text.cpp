// SPDX-License-Identifier: MIT
#include "catalogue/number_text.h"

#include <array>
#include <charconv>
#include <cmath>

std::string FormatFixed(double value, int decimals) {
    if (std::isnan(value)) {
        return std::signbit(value) ? "-nan" : "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    // The largest double has 309 integer digits.
    std::array<char, 320 + 64> buffer{};
    if (decimals < 0) {
        decimals = 0;
    } else if (decimals > 60) {
        decimals = 60;
    }
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

std::string FormatInteger(int64_t value) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string FormatHexUpper(uint32_t value, int minDigits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xFu]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(digits.size()) < minDigits) {
        digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
    }
    return digits;
}

// SPDX-License-Identifier: MIT
#include "channel/line_mode.h"

#include <limits>
#include <stdexcept>
#include <string_view>

namespace {

uint32_t LeadingDecimal(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) {
            // Far beyond any rate; the device rejects it like any other rate it cannot take.
            return std::numeric_limits<uint32_t>::max();
        }
    }
    return static_cast<uint32_t>(value);
}

uint8_t ParityCode(std::string_view field) {
    if (field == "НЕТ") {
        field = "N";
    } else if (field == "НЕЧЕТ") {
        field = "O";
    } else if (field == "ЧЕТ") {
        field = "E";
    }
    if (field.empty()) {
        return LineSettings::kNoParity;
    }
    switch (field.front()) {
        case 'E':
            return LineSettings::kEvenParity;
        case 'M':
            return LineSettings::kMarkParity;
        case 'N':
            return LineSettings::kNoParity;
        case 'O':
            return LineSettings::kOddParity;
        case 'S':
            return LineSettings::kSpaceParity;
        default:
            return LineSettings::kInvalidCode;
    }
}

uint8_t StopBitsCode(std::string_view field) {
    if (field == "1") {
        return LineSettings::kOneStopBit;
    }
    if (field == "1.5") {
        return LineSettings::kOne5StopBits;
    }
    if (field == "2") {
        return LineSettings::kTwoStopBits;
    }
    return LineSettings::kInvalidCode;
}

}  // namespace

LineSettings ParseModeString(const std::string& text, LineSettings base) {
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (c != ' ') {
            compact.push_back(c);
        }
    }
    const size_t firstComma = compact.find(',');
    const size_t secondComma =
        firstComma == std::string::npos ? std::string::npos : compact.find(',', firstComma + 1);
    if (secondComma == std::string::npos) {
        throw std::invalid_argument("mode string needs baud, parity and data fields: " + text);
    }
    const std::string_view s(compact);

    LineSettings result = base;
    result.baudRate = LeadingDecimal(s.substr(0, firstComma));
    result.parity = ParityCode(s.substr(firstComma + 1, secondComma - firstComma - 1));

    const size_t dataPos = secondComma + 1;
    if (dataPos < s.size() && s[dataPos] >= '0' && s[dataPos] <= '9') {
        result.dataBits = static_cast<uint8_t>(s[dataPos] - '0');
    } else {
        result.dataBits = LineSettings::kInvalidCode;
    }
    // The data-bits digit and the separator after it (normally a comma) are passed over.
    const size_t stopPos = dataPos + 2;
    result.stopBits = StopBitsCode(stopPos < s.size() ? s.substr(stopPos) : std::string_view{});

    result.dtrOn = false;
    result.rtsOn = true;
    return result;
}

std::string ModeStringFromLinkSettingsByte(uint8_t linkSettingsByte) {
    static constexpr const char* kBaudTexts[16] = {
        "",      "",      "1200",  "2400", "4800", "9600", "14400", "19200",
        "38400", "56000", "64000", "",     "",     "",     "",      ""};
    static constexpr const char* kParityWords[4] = {"НЕТ", "НЕТ", "ЧЕТ", "НЕЧЕТ"};

    std::string mode = kBaudTexts[linkSettingsByte & 0x0F];
    mode += ',';
    mode += kParityWords[(linkSettingsByte >> 5) & 0x03];
    mode += ',';
    mode += (linkSettingsByte & 0x80) != 0 ? '8' : '7';
    mode += ',';
    mode += (linkSettingsByte & 0x10) != 0 ? "2" : "1";
    return mode;
}

std::string FormatModeString(const LineSettings& settings) {
    static constexpr char kParity[] = "NOEMS";
    std::string text = std::to_string(settings.baudRate) + ",";
    text += settings.parity <= LineSettings::kSpaceParity ? kParity[settings.parity] : '?';
    text += "," + std::to_string(settings.dataBits) + ",";
    text += settings.stopBits == LineSettings::kOneStopBit     ? "1"
            : settings.stopBits == LineSettings::kOne5StopBits ? "1.5"
                                                               : "2";
    return text;
}

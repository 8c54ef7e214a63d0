// SPDX-License-Identifier: MIT
#include "channel/modbus_frame.h"

#include <algorithm>
#include <optional>

namespace {

void AppendRegister(std::vector<uint8_t>& out, uint16_t reg) {
    out.push_back(static_cast<uint8_t>(reg >> 8));
    out.push_back(static_cast<uint8_t>(reg & 0xFF));
}

// Appends data[from, from + count), clipped to the bytes the block has.
void AppendData(std::vector<uint8_t>& out, const std::vector<uint8_t>* data, size_t from = 0,
                size_t count = SIZE_MAX) {
    if (data == nullptr || from >= data->size()) {
        return;
    }
    const size_t end = from + std::min(count, data->size() - from);
    out.insert(out.end(), data->begin() + static_cast<std::ptrdiff_t>(from),
               data->begin() + static_cast<std::ptrdiff_t>(end));
}

std::vector<uint8_t> RtuBody(uint8_t address, uint8_t function, uint16_t startRegister,
                             const std::vector<uint8_t>* data) {
    std::vector<uint8_t> body{address, function};
    switch (function) {
        case 3:
        case 4:
        case 6:
        case 16:
            AppendRegister(body, startRegister);
            AppendData(body, data);
            break;
        case 102:
            if (data != nullptr) {
                body.push_back(static_cast<uint8_t>(data->size()));
                AppendData(body, data);
            }
            break;
        default:  // 104, 106 and every other function: the data block alone
            AppendData(body, data);
            break;
    }
    return body;
}

std::vector<uint8_t> AsciiBody(uint8_t address, uint8_t function, uint16_t startRegister,
                               const std::vector<uint8_t>* data) {
    std::vector<uint8_t> body{address, function};
    switch (function) {
        case 3:
        case 4:
            AppendRegister(body, startRegister);
            AppendData(body, data, 0, 2);
            break;
        case 6:
            AppendRegister(body, startRegister);
            AppendData(body, data, 2, 2);
            break;
        case 16:
        case 104:
            AppendRegister(body, startRegister);
            AppendData(body, data);
            break;
        case 102:
            AppendData(body, data);
            break;
        case 106:
            AppendRegister(body, startRegister);
            AppendData(body, data, 0, 1);
            break;
        default:
            break;
    }
    return body;
}

// The characters of a collected ASCII frame, with the data area bounded: data characters run
// from position 1 up to the LRC at n - 4, so a decoder never reads the LRC, CR, LF or beyond.
class AsciiChars {
  public:
    explicit AsciiChars(std::span<const uint8_t> chars)
        : chars_(chars), dataEnd_(chars.size() - 4) {}

    // The byte whose two characters start at pos, when both lie in the data area.
    std::optional<uint8_t> ByteAt(size_t pos) const {
        if (pos + 1 >= dataEnd_) {
            return std::nullopt;
        }
        return HexPairToByte(chars_[pos], chars_[pos + 1]);
    }
    // How many whole bytes the data area holds from pos on.
    size_t BytesFrom(size_t pos) const { return pos < dataEnd_ ? (dataEnd_ - pos) / 2 : 0; }
    // Appends count bytes from pos on; the caller has checked that they are there.
    void Append(std::vector<uint8_t>& out, size_t pos, size_t count) const {
        for (size_t i = 0; i < count; ++i) {
            out.push_back(HexPairToByte(chars_[pos + 2 * i], chars_[pos + 2 * i + 1]));
        }
    }

  private:
    std::span<const uint8_t> chars_;
    size_t dataEnd_;
};

}  // namespace

uint16_t ComputeCrc16(std::span<const uint8_t> bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc = static_cast<uint16_t>(crc ^ b);
        for (int bit = 0; bit < 8; ++bit) {
            const bool lsb = (crc & 1) != 0;
            crc = static_cast<uint16_t>(crc >> 1);
            if (lsb) {
                crc = static_cast<uint16_t>(crc ^ 0xA001);
            }
        }
    }
    return crc;
}

uint8_t ComputeLrc(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    return static_cast<uint8_t>(-sum);
}

uint8_t NibbleToHex(uint8_t value) {
    if (value < 10) {
        return static_cast<uint8_t>('0' + value);
    }
    if (value < 16) {
        return static_cast<uint8_t>('A' + value - 10);
    }
    return value;
}

uint8_t HexToNibble(uint8_t character) {
    if (character >= '0' && character <= '9') {
        return static_cast<uint8_t>(character - '0');
    }
    if (character >= 'A' && character <= 'F') {
        return static_cast<uint8_t>(character - 'A' + 10);
    }
    return character;
}

uint8_t HexPairToByte(uint8_t high, uint8_t low) {
    return static_cast<uint8_t>((HexToNibble(high) << 4) | HexToNibble(low));
}

std::vector<uint8_t> FrameRtu(std::span<const uint8_t> body) {
    std::vector<uint8_t> frame(body.begin(), body.end());
    const uint16_t crc = ComputeCrc16(body);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

std::vector<uint8_t> FrameAscii(std::span<const uint8_t> body) {
    std::vector<uint8_t> frame;
    frame.reserve(2 * body.size() + 5);
    frame.push_back(':');
    auto appendHex = [&frame](uint8_t b) {
        frame.push_back(NibbleToHex(static_cast<uint8_t>(b >> 4)));
        frame.push_back(NibbleToHex(static_cast<uint8_t>(b & 0x0F)));
    };
    for (uint8_t b : body) {
        appendHex(b);
    }
    appendHex(ComputeLrc(body));
    frame.push_back('\r');
    frame.push_back('\n');
    return frame;
}

std::vector<uint8_t> BuildRtuRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                                     const std::vector<uint8_t>* data) {
    return FrameRtu(RtuBody(address, function, startRegister, data));
}

std::vector<uint8_t> BuildAsciiRequest(uint8_t address, uint8_t function, uint16_t startRegister,
                                       const std::vector<uint8_t>* data) {
    return FrameAscii(AsciiBody(address, function, startRegister, data));
}

uint8_t CheckRtuAnswer(std::span<const uint8_t> collected, std::vector<uint8_t>& answer) {
    const size_t n = collected.size();
    if (n <= 4) {
        return kModbusNoAnswer;
    }
    const uint16_t received = static_cast<uint16_t>(collected[n - 2] | (collected[n - 1] << 8));
    const auto body = collected.first(n - 2);
    if (ComputeCrc16(body) != received) {
        return kModbusChecksumMismatch;
    }
    answer.insert(answer.end(), body.begin(), body.end());
    return kModbusValid;
}

uint8_t CheckAsciiAnswer(std::span<const uint8_t> collected, std::vector<uint8_t>& answer) {
    const size_t n = collected.size();
    if (n <= 4) {
        return kModbusNoAnswer;
    }
    if (collected[0] != ':') {
        return kModbusNoColon;
    }
    if (collected[n - 1] != '\n') {
        return kModbusNoLineFeed;
    }
    uint8_t sum = 0;
    for (size_t i = 1; i < n - 4; i += 2) {
        // i + 1 <= n - 4: with an odd character count the last pair borrows the LRC's first
        // character, still inside the frame.
        sum = static_cast<uint8_t>(sum + HexPairToByte(collected[i], collected[i + 1]));
    }
    const uint8_t lrc = static_cast<uint8_t>(-sum);
    if (collected[n - 4] != NibbleToHex(static_cast<uint8_t>(lrc >> 4)) ||
        collected[n - 3] != NibbleToHex(static_cast<uint8_t>(lrc & 0x0F))) {
        return kModbusChecksumMismatch;
    }

    const AsciiChars chars(collected);
    const uint8_t address = HexPairToByte(collected[1], collected[2]);
    const uint8_t function = HexPairToByte(collected[3], collected[4]);
    std::vector<uint8_t> decoded{address, function};

    if ((function & 0x80) != 0) {
        const uint8_t code = chars.ByteAt(5).value_or(0);
        answer.insert(answer.end(), {address, function, 0, 0});
        // Codes above 155 would wrap around 8 bits into 0 (valid) or a framing code: an
        // exception answer saturates at 255 instead, so it always reads as an exception.
        return static_cast<uint8_t>(std::min(kModbusExceptionBase + code, 255));
    }

    switch (function) {
        case 3:
        case 4:
        case 102:
        case 103:
        case 106: {
            const std::optional<uint8_t> count = chars.ByteAt(5);
            if (!count || chars.BytesFrom(7) < *count) {
                return kModbusNoAnswer;
            }
            if (function != 106) {
                decoded.push_back(*count);
            }
            chars.Append(decoded, 7, *count);
            break;
        }
        case 104: {
            const size_t count = n >= 17 ? (n - 17) / 2 : 0;
            chars.Append(decoded, 9, count);
            break;
        }
        default:  // 16, and functions whose answer has no layout of its own: every data byte
            chars.Append(decoded, 5, chars.BytesFrom(5));
            break;
    }
    answer.insert(answer.end(), decoded.begin(), decoded.end());
    return kModbusValid;
}

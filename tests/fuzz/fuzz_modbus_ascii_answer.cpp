// SPDX-License-Identifier: MIT
// The ASCII answer check and decoding over arbitrary collected characters, and the ASCII
// request builder over arbitrary requests: never read past the input, append nothing on a
// failure, keep exception answers apart from valid ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "channel/modbus_frame.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool HasCountField(uint8_t function) {
    return function == 3 || function == 4 || function == 102 || function == 103 ||
           function == 104 || function == 106;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> chars(data, size);
    std::vector<uint8_t> answer = {0xAA};
    const uint8_t result = CheckAsciiAnswer(chars, answer);
    const size_t appended = answer.size() - 1;
    if (result == kModbusValid) {
        // Address and function, and at most one byte per two characters in between.
        Require(appended >= 2 && appended <= 2 + size / 2);
        Require((answer[2] & 0x80) == 0);
    } else if (result >= kModbusExceptionBase) {
        Require(appended == 4 && (answer[2] & 0x80) != 0 && answer[3] == 0 && answer[4] == 0);
    } else {
        Require(result >= kModbusNoColon && result <= kModbusNoAnswer);
        Require(appended == 0);
    }

    // The same bytes as a body: framed and checked, a body without a count field decodes back.
    if (size >= 2) {
        const std::vector<uint8_t> framed = FrameAscii(chars);
        std::vector<uint8_t> decoded;
        const uint8_t check = CheckAsciiAnswer(framed, decoded);
        if ((data[1] & 0x80) != 0) {
            Require(check >= kModbusExceptionBase);
        } else if (!HasCountField(data[1])) {
            Require(check == kModbusValid);
            Require(decoded == std::vector<uint8_t>(data, data + size));
        }
    }

    // As a request: address, function, start register, then an optional block.
    if (size >= 5) {
        const uint16_t reg = static_cast<uint16_t>(data[2] << 8 | data[3]);
        const std::vector<uint8_t> block(data + 5, data + size);
        const std::vector<uint8_t>* blockOrNone = (data[4] & 1) != 0 ? &block : nullptr;
        const std::vector<uint8_t> frame = BuildAsciiRequest(data[0], data[1], reg, blockOrNone);
        Require(frame.front() == ':' && frame[frame.size() - 2] == '\r' && frame.back() == '\n');
        for (size_t i = 1; i + 2 < frame.size(); ++i) {
            Require((frame[i] >= '0' && frame[i] <= '9') || (frame[i] >= 'A' && frame[i] <= 'F'));
        }
        std::vector<uint8_t> ignored;
        const uint8_t check = CheckAsciiAnswer(frame, ignored);
        Require(check != kModbusNoColon && check != kModbusNoLineFeed &&
                check != kModbusChecksumMismatch);
    }
    return 0;
}

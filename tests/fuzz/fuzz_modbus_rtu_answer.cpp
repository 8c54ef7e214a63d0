// SPDX-License-Identifier: MIT
// The RTU answer check over arbitrary collected bytes, and the RTU request builder over arbitrary
// requests: never read past the input, append only a valid frame's body, and every built request
// passes the check.
#include <algorithm>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    std::vector<uint8_t> answer = {0xAA};
    const uint8_t result = CheckRtuAnswer(bytes, answer);
    Require(result == kModbusValid || result == kModbusChecksumMismatch ||
            result == kModbusNoAnswer);
    Require((result == kModbusNoAnswer) == (size <= 4));
    if (result == kModbusValid) {
        Require(answer.size() == size - 1);
        Require(std::equal(answer.begin() + 1, answer.end(), data));
    } else {
        Require(answer.size() == 1);
    }

    // The same bytes as a request: address, function, start register, then an optional block.
    if (size >= 5) {
        const uint16_t reg = static_cast<uint16_t>(data[2] << 8 | data[3]);
        const std::vector<uint8_t> block(data + 5, data + size);
        const std::vector<uint8_t>* blockOrNone = (data[4] & 1) != 0 ? &block : nullptr;
        const std::vector<uint8_t> frame = BuildRtuRequest(data[0], data[1], reg, blockOrNone);
        Require(frame.size() <= 2 + 3 + block.size() + 2);
        Require(frame[0] == data[0] && frame[1] == data[1]);
        std::vector<uint8_t> body;
        const uint8_t check = CheckRtuAnswer(frame, body);
        Require(check == (frame.size() > 4 ? kModbusValid : kModbusNoAnswer));
    }
    return 0;
}

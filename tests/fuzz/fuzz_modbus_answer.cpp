// The RTU and ASCII answer checks over arbitrary collected bytes: never read past them, and
// append only what a valid answer holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "channel/modbus_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    std::vector<uint8_t> answer = {0xAA};
    const uint8_t rtu = CheckRtuAnswer(bytes, answer);
    if (rtu != kModbusValid && answer.size() != 1) {
        std::abort();  // a failed check appends nothing
    }
    if (rtu == kModbusValid && answer.size() != size - 1) {
        std::abort();
    }
    answer.assign(1, 0xAA);
    const uint8_t ascii = CheckAsciiAnswer(bytes, answer);
    // Framing and checksum failures append nothing. (An exception answer's 100 + code is
    // computed in 8 bits and may wrap into 1 to 4; it appends its four bytes.)
    const bool exception = answer.size() == 5 && (answer[2] & 0x80) != 0;
    if (ascii >= 1 && ascii <= 4 && answer.size() != 1 && !exception) {
        std::abort();
    }
    if (answer.size() > 1 + size) {
        std::abort();
    }
    return 0;
}

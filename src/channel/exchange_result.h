// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>

// What one exchange came to, kept apart: what the line did (nothing came, too little, a
// broken frame, a wrong checksum), what the device said (an exception, a refusal, a negative
// or unknown-cause confirmation, nothing to send) or success. `code` is the number the status
// line, the log and the tests see; it is the same as the answer checks and receive codes give.
enum class LineFault { kNone, kNoAnswer, kShort, kFraming, kChecksum };

enum class DeviceAnswer {
    kAnswered,   // what was asked for
    kException,  // a Modbus exception answer (exceptionCode)
    kNoData,     // IEC-101: nothing to send ("no data", or a lone E5 where data was due)
    kRefused,    // IEC-101: not confirmed, negatively confirmed, unknown type, cause or address
    kUnexpected  // IEC-101: another function, or user data with ACD or DFC
};

struct ExchangeResult {
    uint8_t code = 0;
    LineFault line = LineFault::kNone;
    DeviceAnswer device = DeviceAnswer::kAnswered;
    std::optional<uint8_t> exceptionCode;

    bool ok() const { return line == LineFault::kNone && device == DeviceAnswer::kAnswered; }
    bool lineFailed() const { return line != LineFault::kNone; }
};

// A Modbus RTU answer as CheckRtuAnswer left it (the frame without its CRC in `answer`): an
// exception answer, whose CRC is right, is the device's refusal with 100 plus its code (at most
// 255), as an ASCII one is.
ExchangeResult ModbusRtuResult(uint8_t checkCode, std::span<const uint8_t> answer);
// A Modbus ASCII answer check's code.
ExchangeResult ModbusAsciiResult(uint8_t checkCode);

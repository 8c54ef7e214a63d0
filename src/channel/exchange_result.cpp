// SPDX-License-Identifier: MIT
#include "channel/exchange_result.h"

#include <algorithm>

#include "channel/modbus_frame.h"

namespace {

ExchangeResult LineResult(uint8_t code) {
    ExchangeResult result;
    result.code = code;
    switch (code) {
        case kModbusValid:
            break;
        case kModbusNoColon:
        case kModbusNoLineFeed:
            result.line = LineFault::kFraming;
            break;
        case kModbusChecksumMismatch:
            result.line = LineFault::kChecksum;
            break;
        default:
            result.line = LineFault::kNoAnswer;
            break;
    }
    return result;
}

}  // namespace

ExchangeResult ModbusRtuResult(uint8_t checkCode, std::span<const uint8_t> answer) {
    if (checkCode == kModbusValid && answer.size() >= 3 && (answer[1] & 0x80) != 0) {
        ExchangeResult result;
        result.device = DeviceAnswer::kException;
        result.exceptionCode = answer[2];
        result.code = static_cast<uint8_t>(std::min(kModbusExceptionBase + answer[2], 255));
        return result;
    }
    return LineResult(checkCode);
}

ExchangeResult ModbusAsciiResult(uint8_t checkCode) {
    if (checkCode >= kModbusExceptionBase) {
        ExchangeResult result;
        result.code = checkCode;
        result.device = DeviceAnswer::kException;
        result.exceptionCode = static_cast<uint8_t>(checkCode - kModbusExceptionBase);
        return result;
    }
    return LineResult(checkCode);
}

// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <vector>

#include "channel/exchange_result.h"
#include "channel/modbus_frame.h"
#include "iec101/ft12_frame.h"

namespace {

struct Expected {
    uint8_t code;
    LineFault line;
    DeviceAnswer device;
};

void Check(const ExchangeResult& r, const Expected& e) {
    EXPECT_EQ(r.code, e.code);
    EXPECT_EQ(r.line, e.line);
    EXPECT_EQ(r.device, e.device);
    EXPECT_EQ(r.ok(), e.line == LineFault::kNone && e.device == DeviceAnswer::kAnswered);
}

}  // namespace

// The answer checks' codes keep their numbers; each is a line fault, a word of the device or
// success.
TEST(ExchangeResult, ModbusCodesKeepTheirNumbers) {
    const std::vector<Expected> cases = {
        {kModbusValid, LineFault::kNone, DeviceAnswer::kAnswered},
        {kModbusNoColon, LineFault::kFraming, DeviceAnswer::kAnswered},
        {kModbusNoLineFeed, LineFault::kFraming, DeviceAnswer::kAnswered},
        {kModbusChecksumMismatch, LineFault::kChecksum, DeviceAnswer::kAnswered},
        {kModbusNoAnswer, LineFault::kNoAnswer, DeviceAnswer::kAnswered},
        {106, LineFault::kNone, DeviceAnswer::kException},
        {255, LineFault::kNone, DeviceAnswer::kException},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(int{e.code});
        Check(ModbusAsciiResult(e.code), e);
    }
    EXPECT_EQ(ModbusAsciiResult(106).exceptionCode, 6);
}

// An RTU exception answer passes the CRC check; as a result it is the device's refusal with
// 100 plus its code, as in ASCII, saturating at 255.
TEST(ExchangeResult, RtuExceptionsAreReportedAsInAscii) {
    const std::vector<uint8_t> busy = {1, 0x84, 6};
    const ExchangeResult r = ModbusRtuResult(kModbusValid, busy);
    Check(r, {106, LineFault::kNone, DeviceAnswer::kException});
    EXPECT_EQ(r.exceptionCode, 6);
    Check(ModbusRtuResult(kModbusValid, std::vector<uint8_t>{1, 0x84, 200}),
          {255, LineFault::kNone, DeviceAnswer::kException});
    Check(ModbusRtuResult(kModbusValid, std::vector<uint8_t>{1, 4, 2, 0, 1}),
          {kModbusValid, LineFault::kNone, DeviceAnswer::kAnswered});
    Check(ModbusRtuResult(kModbusChecksumMismatch, {}),
          {kModbusChecksumMismatch, LineFault::kChecksum, DeviceAnswer::kAnswered});
}

TEST(ExchangeResult, IecReceiveCodesKeepTheirNumbers) {
    const std::vector<Expected> cases = {
        {kReceiveOk, LineFault::kNone, DeviceAnswer::kAnswered},
        {kReceiveBadStart, LineFault::kFraming, DeviceAnswer::kAnswered},
        {kReceiveBadEnd, LineFault::kFraming, DeviceAnswer::kAnswered},
        {kReceiveBadChecksum, LineFault::kChecksum, DeviceAnswer::kAnswered},
        {kReceiveNothing, LineFault::kNoAnswer, DeviceAnswer::kAnswered},
        {kReceiveShort, LineFault::kShort, DeviceAnswer::kAnswered},
        {kReceiveNoData, LineFault::kNone, DeviceAnswer::kNoData},
        {kReceiveSingleAck, LineFault::kNone, DeviceAnswer::kNoData},
        {kReceiveRejected, LineFault::kNone, DeviceAnswer::kRefused},
        {45, LineFault::kNone, DeviceAnswer::kRefused},
        {kReceiveUnexpected, LineFault::kNone, DeviceAnswer::kUnexpected},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(int{e.code});
        Check(Iec101ReceiveResult(e.code), e);
    }
    EXPECT_TRUE(Acknowledged(kReceiveSingleAck));
    EXPECT_FALSE(Acknowledged(kReceiveNoData));
}

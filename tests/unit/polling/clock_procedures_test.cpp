// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "platform/virtual/virtual_clock.h"
#include "polling/clock_procedures.h"

// The echo of the clock write: the start register and the record after address and function;
// shorter echoes pass, longer or different ones do not.
TEST(ClockProcedures, TheEchoOfTheClockWrite) {
    const std::vector<uint8_t> record = {0x00, 0x04, 0x08, 0x12};
    struct Case {
        const char* what;
        std::vector<uint8_t> answer;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"the whole echo", {1, 16, 0x03, 0x00, 0x00, 0x04, 0x08, 0x12}, true},
        {"the usual reply: start and count", {1, 16, 0x03, 0x00, 0x00, 0x04}, true},
        {"address and function only", {1, 16}, true},
        {"another start register", {1, 16, 0x03, 0x01, 0x00, 0x04}, false},
        {"a byte more than the record", {1, 16, 0x03, 0x00, 0x00, 0x04, 0x08, 0x12, 0x00}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EchoMatches(c.answer, 0x0300, record), c.matches) << c.what;
    }
}

// The record is taken in the first 10 ms of a second: 2024-03-13 (a Wednesday) 12:00:00.250
// UTC waits for 12:00:01.0xx.
TEST(ClockProcedures, TheTimeRecordIsReadAtTheStartOfASecond) {
    VirtualClock clock(1'000'000, 1'710'331'200'250, 180);
    clock.SetYieldStepUs(1'000);
    const std::vector<uint8_t> utc = ModbusTimeRecord(clock, false);
    ASSERT_EQ(utc.size(), 11u);
    const unsigned ms = utc[3] << 8 | utc[4];
    EXPECT_GE(ms, 1000u);
    EXPECT_LE(ms, 1010u);
    EXPECT_EQ(utc[5], 12);                            // hour
    EXPECT_EQ(utc[6], 0);                             // minute
    EXPECT_EQ(utc[7], 3);                             // month
    EXPECT_EQ(utc[8], (3 << 5) | 13);                 // Wednesday, the 13th
    EXPECT_EQ(utc[10], 24);                           // year in the century
    EXPECT_EQ(ModbusTimeRecord(clock, true)[5], 15);  // local time: UTC+3
}

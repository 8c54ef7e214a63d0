// SPDX-License-Identifier: MIT
#include "iec101/iec101_commands.h"

#include <gtest/gtest.h>

#include "iec101_test_support.h"
#include "platform/calendar.h"
#include "support/system_time.h"

namespace {

LinkConfig Config(uint8_t aw, uint8_t iw, uint8_t cw, uint8_t group = 0, uint8_t cause = 6) {
    return {aw, iw, cw, 16, group, cause};
}

}  // namespace

TEST(Commands, InterrogationOfGroup3) {
    const LinkConfig c = Config(2, 2, 1, 3, 8);
    EXPECT_EQ(BuildInterrogationFrame(0, 0x0102, 0x0010, c),
              Hex("68 0B 0B 68 53 02 01 64 01 08 02 01 10 00 17 ED 16"));
    EXPECT_EQ(BuildInterrogationFrame(1, 0x0102, 0x0010, c),
              Hex("68 0B 0B 68 73 02 01 64 01 08 02 01 10 00 17 0D 16"));
}

TEST(Commands, StationInterrogationThroughTheMaster) {
    MasterBench bench;
    bench.master.SendAsduCommand(1, kTypeInterrogation, 0, Config(1, 2, 1, 0, 6));
    bench.master.SendAsduCommand(1, kTypeInterrogation, 0, Config(1, 2, 1, 16, 6));
    const auto w = bench.Written();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], Hex("68 09 09 68 53 01 64 01 06 01 00 00 14 D4 16"));
    // Group 16: QOI 36, FCB 1.
    EXPECT_EQ(w[1], Hex("68 09 09 68 73 01 64 01 06 01 00 00 24 04 16"));
}

TEST(Commands, TwoByteCauseCarriesTheOriginator) {
    const LinkConfig c = Config(1, 2, 2, 0, 6);
    EXPECT_EQ(BuildInterrogationFrame(0, 1, 0, c),
              Hex("68 0A 0A 68 53 01 64 01 06 02 01 00 00 14 D6 16"));
    const auto read = BuildReadFrame(0, 1, 0x10, Config(1, 2, 2, 0, 5));
    EXPECT_EQ(read[8], 0x05);
    EXPECT_EQ(read[9], kOriginatorAddress);
    const auto sync = BuildClockSyncFrame(0, 1, c, Time(2024, 3, 13, 14, 5, 7, 4));
    EXPECT_EQ(sync[8], 0x06);
    EXPECT_EQ(sync[9], kOriginatorAddress);
    EXPECT_EQ(sync.size(), 22u);
    // With a two-byte address as well: one byte longer, the originator after the cause.
    const auto wide = BuildInterrogationFrame(0, 0x0102, 0x0010, Config(2, 2, 2, 3, 8));
    EXPECT_EQ(wide[1], 0x0C);
    EXPECT_EQ(wide[9], 0x08);
    EXPECT_EQ(wide[10], 0x02);
}

TEST(Commands, ReadCommandHasNoElementAndFunction11) {
    EXPECT_EQ(BuildReadFrame(0, 1, 0x0010, Config(1, 2, 1, 0, 5)),
              Hex("68 08 08 68 5B 01 66 01 05 01 10 00 D9 16"));
    const auto withFcb = BuildReadFrame(1, 1, 0x0010, Config(1, 2, 1, 0, 5));
    EXPECT_EQ(withFcb[4], 0x7B);
    // A three-byte IOA, low byte first; one byte for a one-byte IOA.
    const auto wide = BuildReadFrame(0, 1, 0x030201, Config(1, 3, 1, 0, 5));
    EXPECT_EQ(std::vector<uint8_t>(wide.begin() + 10, wide.begin() + 13), Hex("01 02 03"));
    EXPECT_EQ(BuildReadFrame(0, 1, 0x0210, Config(1, 1, 1, 0, 5)).size(), 13u);
}

TEST(Commands, ClockSynchronisationExample) {
    // Local time Wednesday 2024-03-13 14:05:07.004 at a zone offset of +3 h.
    const SystemTime local = Time(2024, 3, 13, 14, 5, 7, 4);
    const char* const frame = "68 0E 0E 68 73 01 67 01 06 01 00 5C 1B 05 0E 6D 03 18 F5 16";
    EXPECT_EQ(BuildClockSyncFrame(1, 1, Config(1, 1, 1), local), Hex(frame));
    MasterBench bench;
    bench.clock.SetUnixMsAtStart(UnixMsFromCalendar(local) - 180 * 60'000);
    bench.master.RequestClass2Data(1, Config(1, 2, 1));  // uses FCB 0
    bench.master.SendClockSync(1, Config(1, 1, 1), true);
    const auto w = bench.Written();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[1], Hex(frame));
}

TEST(Commands, ClockSynchronisationWaitsForTheStartOfASecond) {
    MasterBench bench;
    // UTC 12:00:00.500; local is 3 h ahead.
    bench.clock.SetUnixMsAtStart(UnixMsFromCalendar(Time(2024, 3, 13, 12, 0, 0, 500)));
    bench.master.SendClockSync(1, Config(1, 2, 1), false);
    const auto w = bench.Written();
    ASSERT_EQ(w.size(), 1u);
    const int ms = w[0][12] | (w[0][13] << 8);
    EXPECT_GE(ms, 1000);
    EXPECT_LE(ms, 1010);
    EXPECT_EQ(w[0][15], 12);  // UTC hour
    EXPECT_GE(bench.clock.NowUs(), 490'000u);
    EXPECT_EQ(bench.line.Writes()[0].timeUs, bench.clock.NowUs());
}

TEST(Commands, Cp56Time2aFields) {
    struct Case {
        const char* name;
        SystemTime time;
        std::string bytes;
    };
    const Case cases[] = {
        {"Wednesday", Time(2024, 3, 13, 14, 5, 7, 4), "5C 1B 05 0E 6D 03 18"},
        {"Sunday carries 7", Time(2024, 3, 17, 23, 59, 59, 999), "5F EA 3B 17 F1 03 18"},
        {"Sunday at midnight", Time(2024, 3, 17, 0, 0, 0, 0), "00 00 00 00 F1 03 18"},
        {"year 2000", Time(2000, 1, 1, 0, 0, 0, 0), "00 00 00 00 C1 01 00"},
        {"year 2099", Time(2099, 12, 31, 12, 30, 0, 10), "0A 00 1E 0C 9F 0C 63"},
    };
    for (const auto& c : cases) {
        const auto tag = EncodeCp56Time2a(c.time);
        EXPECT_EQ(std::vector<uint8_t>(tag.begin(), tag.end()), Hex(c.bytes)) << c.name;
    }
}

TEST(Commands, DelayAcquisitionFrames) {
    const LinkConfig c = Config(1, 2, 1);
    EXPECT_EQ(BuildDelayActivationFrame(0, 1, c, 0x1234),
              Hex("68 0A 0A 68 53 01 6A 01 06 01 00 00 34 12 0C 16"));
    EXPECT_EQ(BuildDelayTransferFrame(0, 1, c, 12),
              Hex("68 0A 0A 68 53 01 6A 01 03 01 00 00 0C 00 CF 16"));
    // Two-byte address, two-byte cause, three-byte IOA.
    const auto wide = BuildDelayActivationFrame(1, 0x0201, Config(2, 3, 2), 59999);
    EXPECT_EQ(wide, Hex("68 0E 0E 68 73 01 02 6A 01 06 02 01 02 00 00 00 5F EA 35 16"));
}

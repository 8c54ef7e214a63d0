// SPDX-License-Identifier: MIT
#include "sim/iec101_station.h"

#include <gtest/gtest.h>

#include "platform/calendar.h"
#include "platform/virtual/virtual_clock.h"
#include "support/hex.h"

namespace {

Iec101StationConfig TwoFloats() {
    Iec101StationConfig c;
    c.linkAddress = 1;
    c.valueType = 13;
    c.objects = {{0x0100, 1.5f, 0, 0}, {0x0102, 2.5f, 0, 1}};
    return c;
}

struct StationBench {
    explicit StationBench(Iec101StationConfig config = TwoFloats())
        : station(std::move(config), clock) {}
    std::vector<uint8_t> Send(const std::string& hex) { return station.Consume(Hex(hex)); }
    // Fixed class 2 request with the given FCB.
    std::vector<uint8_t> Class2(int fcb) {
        return Send(fcb != 0 ? "10 7B 01 7C 16" : "10 5B 01 5C 16");
    }

    VirtualClock clock;
    Iec101Station station;
};

const char* kStatus = "10 49 01 4A 16";
const char* kReset = "10 40 01 41 16";
const char* kAck = "10 00 01 01 16";
const char* kNoData = "10 09 01 0A 16";
// Station interrogation, FCB 1.
const char* kInterrogation = "68 09 09 68 73 01 64 01 06 01 00 00 14 F4 16";

}  // namespace

TEST(Iec101Station, LinkServices) {
    StationBench b;
    EXPECT_EQ(b.Send(kStatus), Hex("10 0B 01 0C 16"));
    EXPECT_EQ(b.Send(kReset), Hex(kAck));
    EXPECT_EQ(b.Class2(1), Hex(kNoData));
    EXPECT_EQ(b.station.counters.statusRequests, 1);
    EXPECT_EQ(b.station.counters.resets, 1);
    // Another station's frames, damaged frames and noise get no answer.
    EXPECT_TRUE(b.Send("10 49 02 4B 16").empty());
    EXPECT_TRUE(b.Send("10 49 01 4B 16").empty());
    EXPECT_TRUE(b.Send("00 FF 10 49 01 4A 17").empty());
    EXPECT_EQ(b.station.counters.ignoredFrames, 3);
    // A frame split across calls, and two frames in one call.
    EXPECT_TRUE(b.Send("10 49").empty());
    EXPECT_EQ(b.Send("01 4A 16"), Hex("10 0B 01 0C 16"));
    EXPECT_EQ(b.Send("10 49 01 4A 16 10 49 01 4A 16"), Hex("10 0B 01 0C 16 10 0B 01 0C 16"));
}

TEST(Iec101Station, TwoByteAddressFrames) {
    Iec101StationConfig c = TwoFloats();
    c.linkAddress = 0x0102;
    c.addressWidth = 2;
    StationBench b(c);
    EXPECT_EQ(b.Send("10 49 02 01 4C 16"), Hex("10 0B 02 01 0E 16"));
    EXPECT_EQ(b.Send("10 40 02 01 43 16"), Hex("10 00 02 01 03 16"));
}

TEST(Iec101Station, InterrogationSequence) {
    StationBench b;
    b.Send(kReset);
    EXPECT_EQ(b.Send(kInterrogation), Hex(kAck));
    EXPECT_EQ(b.Class2(0), Hex("68 09 09 68 08 01 64 01 07 01 00 00 14 8A 16"));
    // Both values, cause 20: IOA 0x0100 1.5 (3FC00000), IOA 0x0102 2.5 (40200000).
    const auto values = b.Class2(1);
    const auto body = Hex("08 01 0D 02 14 01 00 01 00 00 C0 3F 00 02 01 00 00 20 40 00");
    ASSERT_EQ(values.size(), body.size() + 6);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), values.begin() + 4));
    EXPECT_EQ(b.Class2(0), Hex("68 09 09 68 08 01 64 01 0A 01 00 00 14 8D 16"));
    EXPECT_EQ(b.Class2(1), Hex(kNoData));
    EXPECT_EQ(b.station.counters.interrogations, 1);
}

TEST(Iec101Station, GroupInterrogationAndObjectSplitting) {
    Iec101StationConfig c = TwoFloats();
    c.objects.push_back({0x0104, 3.5f, 0, 2});
    c.maxObjectsPerAsdu = 1;
    StationBench b(c);
    b.Send(kReset);
    // Group 1 (QOI 21): the group-1 object and the station object, one per ASDU, cause 21.
    b.Send("68 09 09 68 73 01 64 01 06 01 00 00 15 F5 16");
    EXPECT_EQ(b.Class2(0)[8], 7);
    const auto first = b.Class2(1);
    const auto second = b.Class2(0);
    EXPECT_EQ(first[7], 1);
    EXPECT_EQ(first[8], 21);
    EXPECT_EQ(first[10], 0x00);   // IOA 0x0100
    EXPECT_EQ(second[10], 0x02);  // IOA 0x0102
    EXPECT_EQ(b.Class2(1)[8], 10);
    EXPECT_EQ(b.Class2(0), Hex(kNoData));
}

TEST(Iec101Station, FcbRepetitionRepeatsTheLastAnswer) {
    StationBench b;
    b.Send(kReset);
    b.Send(kInterrogation);
    const auto confirmation = b.Class2(0);
    EXPECT_EQ(b.Class2(0), confirmation);  // same FCB: the answer again, nothing taken
    EXPECT_EQ(b.station.counters.repetitions, 1);
    EXPECT_EQ(b.station.QueuedAnswers(), 2u);
    EXPECT_NE(b.Class2(1), confirmation);
    // After a reset the expected FCB is 1 again.
    b.Send(kReset);
    EXPECT_EQ(b.Class2(1)[8], 10);
}

TEST(Iec101Station, DeactivationDropsARunningInterrogation) {
    StationBench b;
    b.Send(kReset);
    b.Send(kInterrogation);
    b.Send("68 09 09 68 53 01 64 01 08 01 00 00 14 D6 16");  // cause 8, FCB 0
    EXPECT_EQ(b.Class2(1)[8], 9);
    EXPECT_EQ(b.Class2(0), Hex(kNoData));
}

TEST(Iec101Station, ReadCommandAnswersTheOneValue) {
    StationBench b;
    b.Send(kReset);
    // Read of IOA 0x0102 (function 11 with an ASDU): answered at once, cause 5.
    const auto value = b.Send("68 08 08 68 7B 01 66 01 05 01 02 01 EC 16");
    ASSERT_GT(value.size(), 12u);
    EXPECT_EQ(value[6], 13);
    EXPECT_EQ(value[8], 5);
    EXPECT_EQ(value[10], 0x02);
    EXPECT_EQ(value[11], 0x01);
    // An unknown IOA is mirrored with cause 47.
    const auto unknown = b.Send("68 08 08 68 5B 01 66 01 05 01 99 00 62 16");
    EXPECT_EQ(unknown, Hex("68 08 08 68 08 01 66 01 2F 01 99 00 39 16"));
}

TEST(Iec101Station, UnknownTypeCauseAndCommonAddress) {
    StationBench b;
    b.Send(kReset);
    // Single command (type 45), cause 6: unknown type, mirrored with cause 44.
    EXPECT_EQ(b.Send("68 09 09 68 73 01 2D 01 06 01 00 00 01 AA 16"), Hex(kAck));
    EXPECT_EQ(b.Class2(0)[8], 44);
    // Interrogation with cause 5: unknown cause 45.
    b.Send("68 09 09 68 73 01 64 01 05 01 00 00 14 F3 16");
    EXPECT_EQ(b.Class2(0)[8], 45);
    // Interrogation of common address 7: unknown common address 46.
    b.Send("68 09 09 68 73 01 64 01 06 07 00 00 14 FA 16");
    EXPECT_EQ(b.Class2(0)[8], 46);
    // QOI 40 is no group: negative confirmation.
    b.Send("68 09 09 68 73 01 64 01 06 01 00 00 28 08 16");
    EXPECT_EQ(b.Class2(0)[8], 0x47);
}

TEST(Iec101Station, ClockSynchronisationSetsTheStationClock) {
    Iec101StationConfig config = TwoFloats();
    config.ioaWidth = 1;
    StationBench b(config);
    b.Send(kReset);
    // 2024-03-13 14:05:07.004 while the Clock says 12:00:00.000 UTC.
    EXPECT_EQ(b.Send("68 0E 0E 68 73 01 67 01 06 01 00 5C 1B 05 0E 6D 03 18 F5 16"), Hex(kAck));
    const auto confirmation = b.Class2(0);
    EXPECT_EQ(confirmation[6], 103);
    EXPECT_EQ(confirmation[8], 7);
    EXPECT_EQ(b.station.ClockOffsetMs(), (2 * 3600 + 5 * 60 + 7) * 1000 + 4);
    b.clock.Sleep(1000);
    const SystemTime t = b.station.ClockTime();
    EXPECT_EQ(t.hour, 14);
    EXPECT_EQ(t.second, 8);
}

TEST(Iec101Station, DelayAcquisitionReturnsSendTimePlusTimeHeld) {
    StationBench b;
    b.Send(kReset);
    EXPECT_EQ(b.Send("68 0A 0A 68 73 01 6A 01 06 01 00 00 10 27 1D 16"), Hex(kAck));  // 10000
    b.clock.Sleep(350);
    const auto confirmation = b.Class2(0);
    ASSERT_EQ(confirmation.size(), 16u);
    EXPECT_EQ(confirmation[8], 7);
    EXPECT_EQ(confirmation[12] | (confirmation[13] << 8), 10350);
    // The transfer of the delay is taken without a confirmation.
    EXPECT_EQ(b.Send("68 0A 0A 68 73 01 6A 01 03 01 00 00 0C 00 EF 16"), Hex(kAck));
    EXPECT_EQ(b.station.TransferDelayMs(), 12);
    EXPECT_EQ(b.Class2(0), Hex(kNoData));
}

TEST(Iec101Station, TimeTaggedAndBlockTypes) {
    struct Case {
        uint8_t type;
        size_t frameSize;  // two objects, all widths as default
    };
    const Case cases[] = {{9, 22},  {10, 28}, {13, 26},  {14, 32}, {21, 20},
                          {34, 36}, {36, 40}, {143, 27}, {145, 31}};
    for (const auto& c : cases) {
        Iec101StationConfig config = TwoFloats();
        config.valueType = c.type;
        config.objects = {{0x0100, 1.5f, 0x1234, 0},
                          {c.type == 145 ? 0x0102u : 0x0101u, 2.5f, 0x5678, 0}};
        StationBench b(config);
        b.Send(kReset);
        b.Send(kInterrogation);
        b.Class2(0);
        const auto values = b.Class2(1);
        EXPECT_EQ(values.size(), c.frameSize) << int{c.type};
        EXPECT_EQ(values[6], c.type);
        const bool block = c.type == 143 || c.type == 145;
        EXPECT_EQ(values[7], block ? 0x82 : 0x02) << int{c.type};
        if (c.type == 36 || block) {
            // 2024-03-13 12:00:00.000 UTC: minute 0, hour 12, Wednesday the 13th.
            const size_t tag = values.size() - 2 - 7;
            EXPECT_EQ(
                std::vector<uint8_t>(values.begin() + static_cast<long>(tag), values.end() - 2),
                Hex("00 00 00 0C 6D 03 18"))
                << int{c.type};
        }
    }
}

TEST(Iec101Station, SequencesForConsecutiveAddresses) {
    Iec101StationConfig config = TwoFloats();
    config.useSequences = true;
    config.objects.push_back({0x0108, 4.5f, 0, 0});  // breaks the run
    StationBench b(config);
    b.Send(kReset);
    b.Send(kInterrogation);
    b.Class2(0);
    const auto run = b.Class2(1);
    EXPECT_EQ(run[7], 0x82);
    EXPECT_EQ(run.size(), 6u + 2 + 4 + 2 + 5 * 2);
    const auto single = b.Class2(0);
    EXPECT_EQ(single[7], 0x81);
    EXPECT_EQ(single[10], 0x08);
}

TEST(Iec101Station, LongInterrogationsAreSplitIntoFramesThatFit) {
    Iec101StationConfig config = TwoFloats();
    config.objects.clear();
    for (uint32_t i = 0; i < 100; ++i) {
        config.objects.push_back({0x0100 + 2 * i, float(i), 0, 0});
    }
    StationBench b(config);
    b.Send(kReset);
    b.Send(kInterrogation);
    b.Class2(0);
    size_t objects = 0;
    int fcb = 1;
    for (;;) {
        const auto frame = b.Class2(fcb);
        fcb ^= 1;
        if (frame[8] == 10) {
            break;
        }
        ASSERT_EQ(frame[0], 0x68);
        EXPECT_LE(frame.size(), 261u);
        EXPECT_EQ(size_t{frame[1]} + 6, frame.size());
        objects += frame[7] & 0x7F;
    }
    EXPECT_EQ(objects, 100u);
}

TEST(Iec101Station, FaultModes) {
    {
        StationBench b;
        b.station.faults.statusWithE5 = true;
        b.station.faults.acknowledgeWithE5 = true;
        b.station.faults.noDataAsE5 = true;
        EXPECT_EQ(b.Send(kStatus), Hex("E5"));
        EXPECT_EQ(b.Send(kReset), Hex("E5"));
        EXPECT_EQ(b.Class2(1), Hex("E5"));
    }
    {
        StationBench b;
        b.station.faults.acdInAnswers = true;
        b.station.faults.negativeConfirmation = true;
        b.Send(kReset);
        EXPECT_EQ(b.Send(kInterrogation), Hex("10 20 01 21 16"));
        const auto confirmation = b.Class2(0);
        EXPECT_EQ(confirmation[4], 0x28);
        EXPECT_EQ(confirmation[8], 0x47);
    }
    {
        StationBench b;
        b.station.faults.e5InsteadOfData = true;
        b.Send(kReset);
        b.Send(kInterrogation);
        EXPECT_EQ(b.Class2(0), Hex("E5"));
        EXPECT_EQ(b.station.QueuedAnswers(), 3u);
    }
    {
        StationBench b;
        b.station.faults.silent = true;
        EXPECT_TRUE(b.Send(kStatus).empty());
    }
    {
        // ACD on the user-data answers only; the fixed frames stay as they are.
        StationBench b;
        b.station.faults.acdInUserData = true;
        EXPECT_EQ(b.Send(kReset), Hex(kAck));
        EXPECT_EQ(b.Send(kInterrogation), Hex(kAck));
        EXPECT_EQ(b.Class2(0)[4], 0x28);
    }
    {
        // A command mirrored with the cause set, nothing carried out; then a restart empties
        // the queue and forgets the FCB.
        StationBench b;
        b.station.faults.commandCause = 47;
        b.Send(kReset);
        EXPECT_EQ(b.Send(kInterrogation), Hex(kAck));
        const auto mirror = b.Class2(0);
        ASSERT_GT(mirror.size(), 8u);
        EXPECT_EQ(mirror[6], 100);
        EXPECT_EQ(mirror[8], 47);
        EXPECT_EQ(b.station.QueuedAnswers(), 0u);
        b.station.faults.commandCause = 0;
        b.Send(kInterrogation);
        EXPECT_EQ(b.station.QueuedAnswers(), 3u);
        b.station.Restart();
        EXPECT_EQ(b.station.QueuedAnswers(), 0u);
        // The station awaited FCB 0 next; after the restart FCB 1 is a new frame, no repetition.
        EXPECT_EQ(b.Class2(1), Hex(kNoData));
        EXPECT_EQ(b.station.counters.repetitions, 0);
    }
}

TEST(Iec101Station, PeriodicValuesWhenTheQueueIsEmpty) {
    Iec101StationConfig config = TwoFloats();
    config.periodicWhenEmpty = true;
    StationBench b(config);
    b.Send(kReset);
    const auto values = b.Class2(1);
    EXPECT_EQ(values[6], 13);
    EXPECT_EQ(values[8], 1);
}

// SPDX-License-Identifier: MIT
#include "iec101/ft12_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "iec101/iec101_commands.h"
#include "iec101_test_support.h"

namespace {

LinkConfig Widths(uint8_t addressWidth) {
    LinkConfig c;
    c.addressWidth = addressWidth;
    return c;
}

// A variable frame from link address 1 with the given control byte and ASDU.
std::string Variable(uint8_t control, const std::string& asdu, uint8_t addressWidth = 1) {
    return Hex(BuildVariableFrame(control, 1, Widths(addressWidth), Hex(asdu)));
}

struct ReceiveCase {
    const char* name;
    std::string bytes;
    uint8_t addressWidth;
    uint8_t code;
};

}  // namespace

TEST(Ft12Frame, FixedFramesAreBuiltWithTheirChecksum) {
    struct Case {
        uint8_t control;
        uint16_t address;
        uint8_t addressWidth;
        const char* frame;
    };
    const Case cases[] = {
        {kControlLinkStatus, 1, 1, "10 49 01 4A 16"},
        {kControlResetLink, 1, 1, "10 40 01 41 16"},
        {0x7B, 1, 1, "10 7B 01 7C 16"},
        // Two-byte address, low byte first; a width other than 1 counts as 2.
        {0x49, 0x0102, 2, "10 49 02 01 4C 16"},
        {0x49, 0x0102, 7, "10 49 02 01 4C 16"},
        {kControlClass2 | kControlFcb, 0x0102, 2, "10 7B 02 01 7E 16"},
        // The checksum wraps at 256.
        {0x7B, 0xFFFF, 2, "10 7B FF FF 79 16"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Hex(BuildFixedFrame(c.control, c.address, Widths(c.addressWidth))), c.frame)
            << "control " << int{c.control} << ", address " << c.address;
    }
}

TEST(Ft12Frame, VariableFrameCarriesLengthTwiceAndSumsFromTheControlField) {
    EXPECT_EQ(BuildVariableFrame(0x73, 1, Widths(1), Hex("67 01 06 01 00 5C 1B 05 0E 6D 03 18")),
              Hex("68 0E 0E 68 73 01 67 01 06 01 00 5C 1B 05 0E 6D 03 18 F5 16"));
    EXPECT_EQ(BuildVariableFrame(0x08, 0x0201, Widths(2), Hex("AA")),
              Hex("68 04 04 68 08 01 02 AA B5 16"));
}

TEST(Ft12Frame, ReceiveCodes) {
    auto ictype = [](uint8_t cause) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "64 01 %02X 01 00 00 14", cause);
        return std::string(buf);
    };
    const ReceiveCase cases[] = {
        {"nothing", "", 1, kReceiveNothing},
        {"lone E5", "E5", 1, kReceiveSingleAck},
        {"lone 00", "00", 1, kReceiveShort},
        {"two E5", "E5 E5", 1, kReceiveShort},
        {"three bytes", "10 00 01", 1, kReceiveShort},
        {"four bytes", "10 00 01 01", 1, kReceiveShort},
        {"acknowledge", "10 00 01 01 16", 1, kReceiveOk},
        {"no data", "10 09 01 0A 16", 1, kReceiveNoData},
        {"status of link", "10 0B 01 0C 16", 1, kReceiveOk},
        {"status with DFC", "10 1B 01 1C 16", 1, kReceiveRejected},
        {"negative acknowledge", "10 01 01 02 16", 1, kReceiveBadStart},
        {"ACD ignored on acknowledge", "10 20 01 21 16", 1, kReceiveOk},
        {"other function", "10 03 01 04 16", 1, kReceiveUnexpected},
        {"function 15", "10 0F 01 10 16", 1, kReceiveUnexpected},
        {"changed address byte", "10 00 02 01 16", 1, kReceiveBadChecksum},
        {"changed control byte", "10 09 01 01 16", 1, kReceiveBadChecksum},
        {"end byte 17", "10 00 01 01 17", 1, kReceiveBadEnd},
        {"checksum is checked before the end", "10 00 01 02 17", 1, kReceiveBadChecksum},
        {"start 69", "69 00 01 01 16", 1, kReceiveBadStart},
        {"two-byte address acknowledge", "10 00 01 00 01 16", 2, kReceiveOk},
        {"two-byte address no data", "10 09 02 01 0C 16", 2, kReceiveNoData},
        {"interrogation confirmed", "68 09 09 68 08 01 64 01 07 01 00 00 14 8A 16", 1, kReceiveOk},
        {"user data with ACD", Variable(0x28, ictype(7)), 1, kReceiveUnexpected},
        {"user data with ACD, type 9", "68 09 09 68 28 01 09 01 03 01 01 00 00 38 16", 1,
         kReceiveUnexpected},
        {"user data with DFC", Variable(0x18, ictype(7)), 1, kReceiveUnexpected},
        {"user data with ACD and DFC", Variable(0x38, ictype(7)), 1, kReceiveUnexpected},
        {"interrogation activation mirrored", Variable(0x08, ictype(6)), 1, kReceiveRejected},
        {"interrogation negative confirmation", Variable(0x08, ictype(0x47)), 1, kReceiveRejected},
        {"deactivation confirmed", Variable(0x08, ictype(9)), 1, kReceiveOk},
        {"interrogation terminated", Variable(0x08, ictype(10)), 1, kReceiveOk},
        {"unknown type", Variable(0x08, ictype(44)), 1, 44},
        {"unknown cause", Variable(0x08, ictype(45)), 1, 45},
        {"unknown common address", Variable(0x08, ictype(46)), 1, 46},
        {"unknown object address", Variable(0x08, ictype(47)), 1, 47},
        {"measured values", Variable(0x08, "0D 01 14 01 00 01 00 00 80 3F 00"), 1, kReceiveOk},
        {"measured values, cause 44", Variable(0x08, "0D 01 2C 01 00 01 00 00 80 3F 00"), 1, 44},
        {"two-byte address user data", Variable(0x08, "64 01 07 01 00 00 00 14", 2), 2, kReceiveOk},
        {"variable acknowledge", Variable(0x00, ictype(7)), 1, kReceiveOk},
        {"variable other function", Variable(0x03, ictype(7)), 1, kReceiveUnexpected},
        {"variable nack gives the cause byte", Variable(0x01, ictype(0x2D)), 1, 0x2D},
        {"variable no data gives the cause byte", Variable(0x09, ictype(0x33)), 1, 0x33},
        {"variable status, cause bit 4 set", Variable(0x0B, ictype(0x14)), 1, kReceiveRejected},
        {"variable status, cause bit 4 clear", Variable(0x0B, ictype(0x07)), 1, kReceiveOk},
        {"variable status, two-byte address", Variable(0x0B, "64 01 14 00", 2), 2,
         kReceiveRejected},
        // Frames too short for a field the classification reads.
        {"five bytes starting 68", "68 00 00 00 16", 1, kReceiveShort},
        {"six bytes starting 68", "68 00 00 68 00 16", 1, kReceiveShort},
        {"user data without ASDU", "68 02 02 68 08 01 09 16", 1, kReceiveShort},
        {"user data without cause", "68 04 04 68 08 01 64 01 6E 16", 1, kReceiveShort},
        {"user data, two-byte address, no cause", "68 05 05 68 08 01 00 64 01 6E 16", 2,
         kReceiveShort},
        {"variable nack without cause position", "68 02 02 68 01 01 02 16", 1, kReceiveShort},
        {"variable status without cause position", "68 04 04 68 0B 01 64 01 71 16", 1,
         kReceiveShort},
        {"variable acknowledge without address", "68 01 01 68 00 00 16", 1, kReceiveOk},
    };
    for (const auto& c : cases) {
        Iec101Results results;
        Iec101Master master(results);
        std::vector<uint8_t> answer;
        const auto bytes = Hex(c.bytes);
        EXPECT_EQ(master.ClassifyAnswer(bytes, answer, Widths(c.addressWidth)), c.code)
            << c.name << ": " << c.bytes;
    }
}

TEST(Ft12Frame, InterrogationConfirmationCausesWithOneByteFields) {
    // One byte each for address, IOA and cause, in the frame and in the master.
    LinkConfig oneByte = Widths(1);
    oneByte.ioaWidth = 1;
    Iec101Results results;
    Iec101Master master(results);
    master.SetWidths({1, 1, 1});
    const std::pair<uint8_t, uint8_t> cases[] = {
        {7, kReceiveOk},
        {6, kReceiveRejected},
        {0x47, kReceiveRejected},
        {44, 44},
    };
    for (const auto& [cause, code] : cases) {
        const std::vector<uint8_t> asdu = {0x64, 0x01, cause, 0x01, 0x00, 0x14};
        std::vector<uint8_t> answer;
        EXPECT_EQ(
            master.ClassifyAnswer(BuildVariableFrame(0x08, 1, oneByte, asdu), answer, oneByte),
            code)
            << "cause " << int{cause};
    }
}

TEST(Ft12Frame, UserDataWithAcdIsNotDecoded) {
    Iec101Results results;
    Iec101Master master(results);
    master.SetParameters({{"Ua", 0x0100}});
    master.PrepareValueSet({0}, {0xFF}, 4);
    const auto frame =
        BuildVariableFrame(0x28, 1, Widths(1), Hex("0D 01 14 01 00 01 00 00 80 3F 00"));
    std::vector<uint8_t> answer;
    EXPECT_EQ(master.ClassifyAnswer(frame, answer, Widths(1)), kReceiveUnexpected);
    EXPECT_EQ(results.lastType, 0);
    EXPECT_EQ(master.ValueTable(), std::vector<uint8_t>(4, 0));
}

TEST(Ft12Frame, AsduStartsAfterTheAddressField) {
    const auto one = BuildVariableFrame(0x08, 1, Widths(1), Hex("09 01 14 01"));
    const FrameVerdict v1 = ClassifyFrame(one, Widths(1));
    EXPECT_TRUE(v1.userData);
    EXPECT_EQ(v1.asduBegin, 6u);
    EXPECT_EQ(v1.asduEnd, one.size() - 2);
    const auto two = BuildVariableFrame(0x08, 1, Widths(2), Hex("09 01 14 01 00"));
    const FrameVerdict v2 = ClassifyFrame(two, Widths(2));
    EXPECT_TRUE(v2.userData);
    EXPECT_EQ(v2.asduBegin, 7u);
}

TEST(Ft12Collection, NothingWaitsSeventyFiveMilliseconds) {
    MasterBench bench;
    std::vector<uint8_t> answer;
    const uint64_t start = bench.clock.NowUs();
    EXPECT_EQ(bench.master.ReceiveFrame(answer, Widths(1)), kReceiveNothing);
    EXPECT_EQ(bench.clock.NowUs() - start, 75'000u);
}

TEST(Ft12Collection, AnAnswerAlreadyThereCostsOneSlot) {
    MasterBench bench;
    bench.SendToMaster(Hex("10 00 01 01 16"), 0);
    bench.clock.Sleep(10);
    std::vector<uint8_t> answer;
    const uint64_t start = bench.clock.NowUs();
    EXPECT_EQ(bench.master.ReceiveFrame(answer, Widths(1)), kReceiveOk);
    EXPECT_EQ(bench.clock.NowUs() - start, 25'000u);
}

TEST(Ft12Collection, PiecesWithShortGapsAreOneFrame) {
    MasterBench bench;
    bench.SendToMaster(Hex("10 00 01"), 0);
    bench.SendToMaster(Hex("01 16"), 20'000);  // arrives about 22 ms in
    bench.clock.Sleep(5);
    std::vector<uint8_t> answer;
    EXPECT_EQ(bench.master.ReceiveFrame(answer, Widths(1)), kReceiveOk);
}

TEST(Ft12Collection, AGapOfASlotSplitsTheAnswer) {
    MasterBench bench;
    bench.SendToMaster(Hex("10 00 01"), 0);
    bench.SendToMaster(Hex("01 16"), 60'000);
    bench.clock.Sleep(5);
    std::vector<uint8_t> answer;
    EXPECT_EQ(bench.master.ReceiveFrame(answer, Widths(1)), kReceiveShort);
    bench.clock.Sleep(40);
    EXPECT_EQ(bench.master.ReceiveFrame(answer, Widths(1)), kReceiveShort);  // the 2 late bytes
}

TEST(Ft12Collection, LaterBytesAreReadInChunksOfAtMost256) {
    MasterBench bench;
    LineSettings fast;
    fast.baudRate = 921600;
    ASSERT_TRUE(bench.device.SetLine(fast));
    std::vector<uint8_t> burst(600);
    for (size_t i = 0; i < burst.size(); ++i) {
        burst[i] = static_cast<uint8_t>(i);
    }
    bench.line.SendToProgram({0xAA}, fast, 0);
    bench.line.SendToProgram(burst, fast, 2'000);
    bench.clock.AdvanceUs(100);  // the first byte is there, the burst not yet
    const auto collected = CollectAnswer(bench.channel);
    ASSERT_EQ(collected.size(), 601u);
    EXPECT_EQ(collected[0], 0xAA);
    EXPECT_TRUE(std::equal(burst.begin(), burst.end(), collected.begin() + 1));
}

TEST(Ft12Collection, CollectionStopsAt5000BytesAndLeavesTheRestQueued) {
    MasterBench bench;
    LineSettings fast;
    fast.baudRate = 921600;
    ASSERT_TRUE(bench.device.SetLine(fast));
    bench.line.SendToProgram(std::vector<uint8_t>(6000, 0x55), fast, 0);
    bench.clock.Sleep(100);
    const auto collected = CollectAnswer(bench.channel);
    EXPECT_EQ(collected.size(), kReceiveBufferSize);
    EXPECT_EQ(bench.device.QueuedCount(), 1000u);

    // The same when the bytes come in while the collection runs.
    MasterBench trickle;
    ASSERT_TRUE(trickle.device.SetLine(fast));
    trickle.line.SendToProgram({0x01}, fast, 0);
    trickle.line.SendToProgram(std::vector<uint8_t>(5200, 0x66), fast, 1'000);
    trickle.clock.AdvanceUs(50);
    const auto second = CollectAnswer(trickle.channel);
    EXPECT_EQ(second.size(), kReceiveBufferSize);
    trickle.clock.Sleep(100);
    EXPECT_EQ(trickle.device.QueuedCount(), 201u);
}

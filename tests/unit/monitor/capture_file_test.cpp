// SPDX-License-Identifier: MIT
// The pcapng writer's blocks as a reader walks them, without tshark (the interop tests read the
// same files with it), and the tshark command line's quoting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/capture_file.h"
#include "platform/virtual/virtual_clock.h"
#include "support/hex.h"
#include "support/memory_file_system.h"

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

struct Block {
    uint32_t type;
    std::vector<uint8_t> body;  // between the length fields
};

// The blocks of a capture; fails the test on a length that does not frame its block.
std::vector<Block> Blocks(const std::vector<uint8_t>& capture) {
    std::vector<Block> blocks;
    size_t at = 0;
    while (at < capture.size()) {
        EXPECT_LE(at + 12, capture.size());
        const uint32_t length = U32(capture, at + 4);
        EXPECT_EQ(length % 4, 0u);
        EXPECT_LE(at + length, capture.size());
        if (length < 12 || length % 4 != 0 || at + length > capture.size()) {
            break;
        }
        EXPECT_EQ(U32(capture, at + length - 4), length);
        blocks.push_back({U32(capture, at),
                          {capture.begin() + static_cast<long>(at) + 8,
                           capture.begin() + static_cast<long>(at + length) - 4}});
        at += length;
    }
    return blocks;
}

}  // namespace

TEST(CaptureFile, BlocksInterfacesAndPackets) {
    VirtualClock clock;
    TrafficRecorder recorder(clock);
    LineSettings line;
    line.baudRate = 19200;
    line.dtrOn = true;
    recorder.SetLine(line);
    recorder.SetKind(FrameKind::kModbusRtu);
    recorder.RecordWrite(Hex("01 03 00 00 00 0A C5 CD"));
    clock.AdvanceUs(1500);
    recorder.SetKind(FrameKind::kFt12);
    recorder.RecordWrite(Hex("10 49 01 4A 16"));
    clock.AdvanceUs(2500);
    recorder.RecordRead(Hex("10 0B 01"));
    recorder.RecordRead(Hex("0C 16"));
    recorder.EndAnswer(0);
    recorder.SetKind(FrameKind::kModbusAscii);
    recorder.RecordWrite(Hex("3A 30 31"));
    recorder.RecordRead(Hex("3A"));  // still open: not saved

    MemoryFileSystem files;
    ASSERT_TRUE(SaveCapture(files, "c.pcapng", recorder, "polmira"));
    const std::string& saved = files.files.at("c.pcapng");
    const std::vector<uint8_t> capture(saved.begin(), saved.end());
    EXPECT_EQ(capture, BuildCapture(recorder, 0, 100, "polmira"));
    const std::vector<Block> blocks = Blocks(capture);
    ASSERT_EQ(blocks.size(), 1u + 3 + 4);
    EXPECT_EQ(blocks[0].type, 0x0A0D0D0Au);
    EXPECT_EQ(U32(blocks[0].body, 0), 0x1A2B3C4Du);
    const uint16_t linkTypes[] = {147, 250, 148};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(blocks[1 + i].type, 1u);
        EXPECT_EQ(blocks[1 + i].body[0] | blocks[1 + i].body[1] << 8, linkTypes[i]);
    }
    // Each packet: its interface, its time stamp in microseconds, its bytes (FT1.2 behind the
    // serial header: seconds and microseconds big-endian, the event, RTS and DTR) and the
    // direction flag.
    const uint64_t zeroUs = static_cast<uint64_t>(recorder.UnixMsAtZero()) * 1000;
    const struct {
        uint32_t interface;
        uint64_t timeUs;
        std::string bytes;
        uint32_t flags;
    } packets[] = {
        {0, 0, "01 03 00 00 00 0A C5 CD", 2},
        {1, 1500, "10 49 01 4A 16", 2},
        {1, 4000, "10 0B 01 0C 16", 1},
        {2, 4000, "3A 30 31", 2},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const std::vector<uint8_t>& b = blocks[4 + i].body;
        EXPECT_EQ(blocks[4 + i].type, 6u);
        EXPECT_EQ(U32(b, 0), packets[i].interface);
        const uint64_t stamp = uint64_t{U32(b, 4)} << 32 | U32(b, 8);
        EXPECT_EQ(stamp, zeroUs + packets[i].timeUs);
        const uint32_t length = U32(b, 12);
        EXPECT_EQ(U32(b, 16), length);
        std::vector<uint8_t> data(b.begin() + 20, b.begin() + 20 + length);
        if (packets[i].interface == 1) {
            ASSERT_EQ(length, 12 + Hex(packets[i].bytes).size());
            const uint64_t seconds = uint64_t{data[0]} << 24 | uint32_t{data[1]} << 16 |
                                     uint32_t{data[2]} << 8 | data[3];
            const uint32_t micro = data[4] << 24 | data[5] << 16 | data[6] << 8 | data[7];
            EXPECT_EQ(seconds * 1'000'000 + micro, stamp);
            EXPECT_EQ(data[8], packets[i].flags == 2 ? 0x01 : 0x02);
            EXPECT_EQ(data[9], 0x08 | 0x10);  // RTS and DTR on
            data.erase(data.begin(), data.begin() + 12);
        }
        EXPECT_EQ(Hex(data), packets[i].bytes);
        const size_t options = 20 + (length + 3) / 4 * 4;
        EXPECT_EQ(b[options] | b[options + 1] << 8, 2);  // epb_flags
        EXPECT_EQ(U32(b, options + 4), packets[i].flags);
    }
}

TEST(CaptureFile, CommandLineQuotesTheFileAndGivesTheWidths) {
    const std::string command =
        CaptureCommandLine("/tmp/it's here.pcapng", FrameWidths{2, 1, 2, 3});
    EXPECT_EQ(command.rfind("tshark -r '/tmp/it'\\''s here.pcapng' ", 0), 0u) << command;
    for (const char* option :
         {" -o 'iec60870_101.linkaddr_len:2 octet'", " -o 'iec60870_101.cot_len:2 octet'",
          " -o 'iec60870_101.asdu_addr_len:1 octet'", " -o 'iec60870_101.asdu_ioa_len:3 octet'",
          " -d rtacser.data,iec60870_101", " -o mbrtu.crc_verification:TRUE"}) {
        EXPECT_NE(command.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(CaptureInterface(FrameKind::kModbusRtu), 0u);
    EXPECT_EQ(CaptureInterface(FrameKind::kFt12), 1u);
    for (FrameKind kind : {FrameKind::kWakeUp, FrameKind::kModbusAscii, FrameKind::kDiscarded}) {
        EXPECT_EQ(CaptureInterface(kind), 2u);
    }
}

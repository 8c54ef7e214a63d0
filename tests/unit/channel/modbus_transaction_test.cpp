// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "channel/modbus_frame.h"
#include "channel/serial_channel.h"
#include "platform/virtual/virtual_line.h"
#include "unit/channel/channel_test_util.h"

namespace {

enum class Framing { kRtu, kAscii };

class ModbusTransactionTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(channel.OpenPort("ttyV0"));
        ASSERT_TRUE(channel.ApplyMode("19200,E,8,1"));
        clock.AdvanceUs(20'000);
    }

    uint8_t Receive(Framing framing, std::vector<uint8_t>& answer) {
        return framing == Framing::kRtu ? channel.ReceiveRtuAnswer(answer)
                                        : channel.ReceiveAsciiAnswer(answer);
    }

    const LineSettings line19200E = Mode("19200,E,8,1");
    VirtualClock clock;
    VirtualLine line{clock, "ttyV0"};
    VirtualSerialDevice device{line};
    SerialChannel channel{device, clock};
};

const std::vector<uint8_t> kRtuAnswer = Hex("01 04 02 12 34 B4 47");
const std::vector<uint8_t> kAsciiAnswer = Chars(":0104021234B3\r\n");

struct Chunk {
    int startMs;  // relative to the start of the receive; negative: already on the line
    size_t from;  // part [from, to) of the answer
    size_t to;
};

struct TimingCase {
    const char* name;
    Framing framing;
    std::vector<Chunk> chunks;
    uint8_t result;
    uint64_t elapsedMs;
};

TEST_F(ModbusTransactionTest, ReceiveTiming) {
    const size_t rtuHalf = 5;    // more than four bytes, CRC not yet complete
    const size_t asciiHalf = 9;  // no LF yet
    const std::vector<TimingCase> cases = {
        {"queued before the receive, RTU", Framing::kRtu, {{-15, 0, 7}}, kModbusValid, 25},
        {"queued before the receive, ASCII", Framing::kAscii, {{-15, 0, 15}}, kModbusValid, 25},
        {"begins at 60 ms", Framing::kRtu, {{60, 0, 7}}, kModbusValid, 100},
        {"begins at 100 ms", Framing::kRtu, {{100, 0, 7}}, kModbusNoAnswer, 75},
        {"halves 40 ms apart, RTU",
         Framing::kRtu,
         {{-10, 0, rtuHalf}, {30, rtuHalf, 7}},
         kModbusChecksumMismatch,
         25},
        {"halves 40 ms apart, ASCII",
         Framing::kAscii,
         {{-10, 0, asciiHalf}, {30, asciiHalf, 15}},
         kModbusNoLineFeed,
         25},
        {"gaps shorter than 25 ms",
         Framing::kAscii,
         {{-5, 0, 4}, {15, 4, 8}, {35, 8, 12}, {55, 12, 15}},
         kModbusValid,
         100},
        {"nothing", Framing::kRtu, {}, kModbusNoAnswer, 75},
        {"nothing, ASCII", Framing::kAscii, {}, kModbusNoAnswer, 75},
    };
    for (const TimingCase& c : cases) {
        line.ClearToProgram();
        const std::vector<uint8_t>& frame = c.framing == Framing::kRtu ? kRtuAnswer : kAsciiAnswer;
        const uint64_t start = clock.NowUs() + 20'000;
        for (const Chunk& chunk : c.chunks) {
            std::vector<uint8_t> part(frame.begin() + static_cast<std::ptrdiff_t>(chunk.from),
                                      frame.begin() + static_cast<std::ptrdiff_t>(chunk.to));
            line.SendToProgram(
                part, line19200E,
                static_cast<uint64_t>(static_cast<int64_t>(start) + int64_t{chunk.startMs} * 1000));
        }
        clock.AdvanceToUs(start);
        std::vector<uint8_t> answer;
        EXPECT_EQ(Receive(c.framing, answer), c.result) << c.name;
        EXPECT_EQ(clock.NowUs() - start, c.elapsedMs * 1000) << c.name;
        if (c.result == kModbusValid) {
            EXPECT_EQ(answer, Hex("01 04 02 12 34")) << c.name;
        } else {
            EXPECT_TRUE(answer.empty()) << c.name;
        }
        clock.Sleep(200);
    }
}

TEST_F(ModbusTransactionTest, CollectionStopsAtFiveThousandBytes) {
    line.SendToProgram(std::vector<uint8_t>(6000, 0x3A), line19200E);
    clock.Sleep(4000);  // all 6000 bytes are queued
    std::vector<uint8_t> answer;
    EXPECT_EQ(channel.ReceiveAsciiAnswer(answer), kModbusNoLineFeed);
    EXPECT_TRUE(answer.empty());
    // The excess stays queued and is taken by the next receive.
    EXPECT_EQ(device.QueuedCount(), 1000u);
    EXPECT_EQ(channel.ReceiveRtuAnswer(answer), kModbusChecksumMismatch);
    EXPECT_EQ(device.QueuedCount(), 0u);
}

TEST_F(ModbusTransactionTest, RequestGoesOutInOneWriteAndTheSlaveAnswers) {
    // A slave on 19200,E,8,1 that answers a valid RTU poll with two registers, and an ASCII
    // poll in ASCII.
    ScriptedPeer slave(line, {line19200E}, line19200E,
                       [](const std::vector<uint8_t>& heard,
                          const LineSettings&) -> std::optional<std::vector<uint8_t>> {
                           std::vector<uint8_t> request;
                           if (!heard.empty() && heard[0] == ':') {
                               if (CheckAsciiAnswer(heard, request) != kModbusValid) {
                                   return std::nullopt;
                               }
                               return FrameAscii(Hex("01 04 04 00 0A 00 0B"));
                           }
                           if (CheckRtuAnswer(heard, request) != kModbusValid ||
                               request != Hex("01 04 01 00 00 02")) {
                               return std::nullopt;
                           }
                           return FrameRtu(Hex("01 04 04 00 0A 00 0B"));
                       });
    const std::vector<uint8_t> data = Hex("00 02");

    channel.SendRtuRequest(1, 4, 0x0100, &data);
    ASSERT_EQ(line.Writes().size(), 1u);
    EXPECT_EQ(line.Writes()[0].bytes, Hex("01 04 01 00 00 02 70 37"));
    clock.Sleep(500);
    std::vector<uint8_t> answer;
    EXPECT_EQ(channel.ReceiveRtuAnswer(answer), kModbusValid);
    EXPECT_EQ(answer, Hex("01 04 04 00 0A 00 0B"));

    channel.SendAsciiRequest(1, 4, 0x0100, &data);
    ASSERT_EQ(line.Writes().size(), 2u);
    EXPECT_EQ(line.Writes()[1].bytes, Chars(":010401000002F8\r\n"));
    clock.Sleep(500);
    answer.clear();
    EXPECT_EQ(channel.ReceiveAsciiAnswer(answer), kModbusValid);
    EXPECT_EQ(answer, Hex("01 04 04 00 0A 00 0B"));

    // Sent at a speed the slave does not listen at, the request is noise and goes unanswered.
    ASSERT_TRUE(channel.ApplyMode("9600,E,8,1"));
    channel.SendRtuRequest(1, 4, 0x0100, &data);
    ASSERT_TRUE(channel.ApplyMode("19200,E,8,1"));
    clock.Sleep(500);
    answer.clear();
    EXPECT_EQ(channel.ReceiveRtuAnswer(answer), kModbusNoAnswer);
    EXPECT_EQ(slave.noiseWrites, 1);
}

TEST_F(ModbusTransactionTest, ClosedPortReceivesNothing) {
    channel.ClosePort();
    channel.SendRtuRequest(1, 127, 0, nullptr);
    EXPECT_TRUE(line.Writes().empty());
    std::vector<uint8_t> answer;
    EXPECT_EQ(channel.ReceiveRtuAnswer(answer), kModbusNoAnswer);
}

}  // namespace

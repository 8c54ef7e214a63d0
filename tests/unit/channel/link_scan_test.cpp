// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>

#include "channel/serial_channel.h"
#include "platform/virtual/virtual_line.h"
#include "unit/channel/channel_test_util.h"

namespace {

const std::array<const char*, 9> kCandidates = {"76800,N,8,1", "4800,N,8,1",  "9600,N,8,1",
                                                "19200,N,8,1", "38400,N,8,1", "64000,N,8,1",
                                                "64000,E,8,1", "76800,E,8,1", "9600,N,8,1"};

// A transducer that listens at its own settings and, once woken, at 19200,E,8,1. Every third
// zero byte it hears completes a wake-up; the k-th wake-up is answered with replies[k] (nothing
// when the list is shorter or the entry is empty), at 19200,E,8,1.
class SleepingTransducer {
  public:
    SleepingTransducer(VirtualLine& line, VirtualClock& clock, std::vector<const char*> ownModes,
                       std::vector<std::vector<uint8_t>> replies)
        : replies_(std::move(replies)),
          peer_(line, ListensAt(ownModes), Mode("19200,E,8,1"),
                [this, &clock](const std::vector<uint8_t>& heard,
                               const LineSettings&) -> std::optional<std::vector<uint8_t>> {
                    if (heard != std::vector<uint8_t>{0}) {
                        zeros_ = 0;
                        return std::nullopt;
                    }
                    if (++zeros_ < 3) {
                        return std::nullopt;
                    }
                    zeros_ = 0;
                    resolutionAtWakeUp.push_back(clock.OutstandingTimerResolutions());
                    const size_t k = wakeUps++;
                    if (k >= replies_.size() || replies_[k].empty()) {
                        return std::nullopt;
                    }
                    return replies_[k];
                }) {}

    size_t wakeUps = 0;
    std::vector<int> resolutionAtWakeUp;

  private:
    static std::vector<LineSettings> ListensAt(const std::vector<const char*>& ownModes) {
        std::vector<LineSettings> modes{Mode("19200,E,8,1")};
        for (const char* m : ownModes) {
            modes.push_back(Mode(m));
        }
        return modes;
    }

    std::vector<std::vector<uint8_t>> replies_;
    int zeros_ = 0;
    ScriptedPeer peer_;
};

class LinkScanTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(channel.OpenPort("ttyV0")); }

    // The zero bytes the program wrote, and at which settings each was sent.
    std::vector<LineSettings> ZeroWrites() const {
        std::vector<LineSettings> sentAt;
        for (const auto& w : line.Writes()) {
            EXPECT_EQ(w.bytes, std::vector<uint8_t>{0});
            sentAt.push_back(w.settings);
        }
        return sentAt;
    }
    bool AtListeningLine() const {
        return SameFraming(line.ProgramSettings(), Mode("19200,E,8,1")) &&
               line.ProgramSettings().stopBits == LineSettings::kOneStopBit;
    }

    VirtualClock clock;
    VirtualLine line{clock, "ttyV0"};
    VirtualSerialDevice device{line};
    SerialChannel channel{device, clock};
};

TEST_F(LinkScanTest, AnswerToTheFirstProbeEndsTheScan) {
    SleepingTransducer transducer(line, clock, {"76800,N,8,1"},
                                  {Hex("01 02 03 04 05 06 07 08 09 0A")});
    // The tail is the last eight bytes: 03 04 ... -> 0x03 * 256 + 4.
    EXPECT_EQ(channel.ScanLinkSettings(), 0x0304);
    EXPECT_EQ(ZeroWrites().size(), 3u);
    EXPECT_TRUE(AtListeningLine());
    EXPECT_EQ(transducer.resolutionAtWakeUp, std::vector<int>{1});
    EXPECT_EQ(clock.OutstandingTimerResolutions(), 0);
}

TEST_F(LinkScanTest, TransducerAtTheThirdCandidate) {
    SleepingTransducer transducer(line, clock, {"9600,N,8,1"}, {Hex("11 F0 22 33 44 55 66 77")});
    EXPECT_EQ(channel.ScanLinkSettings(), 0x10F0);  // 0x1100 + (int8)0xF0 = 0x1100 - 16
    const std::vector<LineSettings> sentAt = ZeroWrites();
    ASSERT_EQ(sentAt.size(), 9u);
    for (size_t i = 0; i < sentAt.size(); ++i) {
        EXPECT_TRUE(SameFraming(sentAt[i], Mode(kCandidates[i / 3]))) << i;
    }
    EXPECT_TRUE(AtListeningLine());
}

TEST_F(LinkScanTest, NobodyThere) {
    const uint64_t start = clock.NowUs();
    EXPECT_EQ(channel.ScanLinkSettings(), SerialChannel::kNotHeard);
    const std::vector<LineSettings> sentAt = ZeroWrites();
    ASSERT_EQ(sentAt.size(), 27u);
    for (size_t i = 0; i < sentAt.size(); ++i) {
        EXPECT_TRUE(SameFraming(sentAt[i], Mode(kCandidates[i / 3]))) << i;
    }
    // Wake-up bytes 0, 75 and 275 ms into each probe.
    EXPECT_EQ(line.Writes()[1].timeUs - line.Writes()[0].timeUs, 75'000u);
    EXPECT_EQ(line.Writes()[2].timeUs - line.Writes()[1].timeUs, 200'000u);
    EXPECT_TRUE(AtListeningLine());
    EXPECT_EQ(clock.OutstandingTimerResolutions(), 0);
    const uint64_t elapsedMs = (clock.NowUs() - start) / 1000;
    EXPECT_GE(elapsedMs, 250u + 9 * 375);
    EXPECT_LE(elapsedMs, 250u + 9 * 380);
}

TEST_F(LinkScanTest, ShortFirstAnswerThenSilenceMovesToTheNextCandidate) {
    // First wake-up (76800): three bytes. The repeated wake-up at 19200,E: nothing. The wake-up
    // at the second candidate (4800): a full answer.
    SleepingTransducer transducer(line, clock, {"76800,N,8,1", "4800,N,8,1"},
                                  {Hex("AA BB CC"), {}, Hex("01 02 03 04 05 06 07 08")});
    EXPECT_EQ(channel.ScanLinkSettings(), 0x0102);
    const std::vector<LineSettings> sentAt = ZeroWrites();
    ASSERT_EQ(sentAt.size(), 9u);
    EXPECT_TRUE(SameFraming(sentAt[0], Mode("76800,N,8,1")));
    EXPECT_TRUE(SameFraming(sentAt[3], Mode("19200,E,8,1")));
    EXPECT_TRUE(SameFraming(sentAt[6], Mode("4800,N,8,1")));
}

TEST_F(LinkScanTest, TrafficBeforeTheFirstWakeUpIsDrained) {
    const LineSettings fast = Mode("76800,N,8,1");
    for (int ms = 0; ms < 300; ms += 10) {
        line.SendToProgram(Hex("55 55"), fast, uint64_t(ms) * 1000);
    }
    SleepingTransducer transducer(line, clock, {"76800,N,8,1"}, {Hex("21 22 23 24 25 26 27 28")});
    EXPECT_EQ(channel.ScanLinkSettings(), 0x2122);
    ASSERT_FALSE(line.Writes().empty());
    const uint64_t firstWakeUpMs = line.Writes()[0].timeUs / 1000;
    EXPECT_GE(firstWakeUpMs, 300u);
    EXPECT_LE(firstWakeUpMs, 330u);
}

TEST_F(LinkScanTest, EndlessTrafficIsDrainedForAtMostHalfASecond) {
    const LineSettings fast = Mode("76800,N,8,1");
    for (int ms = 0; ms < 2000; ms += 10) {
        line.SendToProgram(Hex("55"), fast, uint64_t(ms) * 1000);
    }
    // The noise still on the line counts as the answer to the first probe.
    EXPECT_NE(channel.ScanLinkSettings(), SerialChannel::kNotHeard);
    ASSERT_FALSE(line.Writes().empty());
    const uint64_t firstWakeUpMs = line.Writes()[0].timeUs / 1000;
    EXPECT_GE(firstWakeUpMs, 500u);
    EXPECT_LE(firstWakeUpMs, 530u);
}

struct ProbeCase {
    const char* name;
    std::vector<std::vector<uint8_t>> replies;
    uint16_t result;
    size_t zerosSent;
};

TEST_F(LinkScanTest, ProbeAnswerTailRule) {
    const std::vector<ProbeCase> cases = {
        {"eight bytes", {Hex("80 7F 00 00 00 00 00 00")}, 0x807F, 3},
        {"tail 00 FF reads as not heard", {Hex("00 FF 01 02 03 04 05 06")}, 0xFFFF, 3},
        {"short, then two bytes", {Hex("01"), Hex("AB 05")}, 0xAB05, 6},
        {"short, then one byte", {Hex("01 02"), Hex("7E")}, 0x7E00, 6},
        {"short, then silence", {Hex("01 02 03")}, 0xFFFF, 6},
        {"silence", {}, 0xFFFF, 3},
    };
    std::vector<uint8_t> buffer(SerialChannel::kScanBufferSize);
    for (const ProbeCase& c : cases) {
        line.ClearToProgram();
        line.ClearWrites();
        ASSERT_TRUE(channel.ApplyMode("9600,N,8,1"));
        SleepingTransducer transducer(line, clock, {"9600,N,8,1"}, c.replies);
        EXPECT_EQ(channel.ProbeAnswer(buffer), c.result) << c.name;
        EXPECT_EQ(line.Writes().size(), c.zerosSent) << c.name;
        EXPECT_TRUE(AtListeningLine()) << c.name;
        clock.Sleep(100);
    }
}

TEST_F(LinkScanTest, LongAnswerStaysWithinTheScanBuffer) {
    std::vector<uint8_t> longAnswer(5000, 0x10);
    longAnswer[4088] = 0x42;
    longAnswer[4089] = 0x05;
    line.SendToProgram(longAnswer, Mode("19200,E,8,1"));
    clock.Sleep(3000);  // about 2.9 s at 19200,E: all of it is queued
    ASSERT_TRUE(channel.ApplyMode("9600,N,8,1"));
    std::vector<uint8_t> buffer(SerialChannel::kScanBufferSize);
    // One read takes 4096 bytes; the tail is the last eight of them.
    EXPECT_EQ(channel.ProbeAnswer(buffer), 0x4205);
    EXPECT_EQ(device.QueuedCount(), 904u);
}

}  // namespace

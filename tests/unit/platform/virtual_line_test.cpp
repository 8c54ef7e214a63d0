// SPDX-License-Identifier: MIT
#include "platform/virtual/virtual_line.h"

#include <gtest/gtest.h>

namespace {

LineSettings Line(uint32_t baud, uint8_t parity) {
    LineSettings s;
    s.baudRate = baud;
    s.parity = parity;
    return s;
}

// Records what reaches the far end.
class RecordingPeer : public LinePeer {
  public:
    void OnReceive(const std::vector<TimedByte>& bytes, const LineSettings& sentAt) override {
        received.insert(received.end(), bytes.begin(), bytes.end());
        settings.push_back(sentAt);
    }
    std::vector<TimedByte> received;
    std::vector<LineSettings> settings;
};

}  // namespace

TEST(VirtualClock, TickCountWrapsAndSleepsAdvance) {
    VirtualClock clock(0xFFFF'FFF0u);
    EXPECT_EQ(clock.TickCount(), 0xFFFF'FFF0u);
    clock.Sleep(32);
    EXPECT_EQ(clock.TickCount(), 16u);
    EXPECT_EQ(clock.NowUs(), 32'000u);
    clock.Yield();
    EXPECT_EQ(clock.NowUs(), 33'000u);
}

TEST(VirtualClock, LocalTimeCarriesTheZoneOffset) {
    VirtualClock clock(0, 1'710'331'200'000, 180);
    EXPECT_EQ(clock.UtcTime().hour, 12);
    EXPECT_EQ(clock.LocalTime().hour, 15);
}

TEST(VirtualLine, BytesArriveAtLineSpeed) {
    VirtualClock clock;
    VirtualLine line(clock, "ttyV0");
    VirtualSerialDevice dev(line);
    ASSERT_TRUE(dev.Open("ttyV0"));
    const LineSettings s = Line(9600, LineSettings::kNoParity);  // 10 bits a char: 1042 us
    ASSERT_TRUE(dev.SetLine(s));
    line.SendToProgram({1, 2, 3}, s);
    EXPECT_EQ(dev.QueuedCount(), 0u);
    clock.AdvanceUs(1100);
    EXPECT_EQ(dev.QueuedCount(), 1u);
    clock.AdvanceUs(2100);
    uint8_t buf[8] = {};
    ASSERT_EQ(dev.Read(buf, sizeof buf), 3u);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(dev.Read(buf, sizeof buf), 0u);
}

TEST(VirtualLine, ReadNeverTakesMoreThanAsked) {
    VirtualClock clock;
    VirtualLine line(clock, "ttyV0");
    VirtualSerialDevice dev(line);
    ASSERT_TRUE(dev.Open("ttyV0"));
    LineSettings s;
    ASSERT_TRUE(dev.GetLine(s));
    line.SendToProgram(std::vector<uint8_t>(10, 7), s);
    clock.Sleep(100);
    uint8_t buf[4] = {};
    EXPECT_EQ(dev.Read(buf, 4), 4u);
    EXPECT_EQ(dev.QueuedCount(), 6u);
}

TEST(VirtualLine, WrongSpeedGarblesAndWritesCarryTheirSettings) {
    VirtualClock clock;
    VirtualLine line(clock, "ttyV0");
    RecordingPeer peer;
    line.AttachPeer(&peer);
    VirtualSerialDevice dev(line);
    ASSERT_TRUE(dev.Open("ttyV0"));
    ASSERT_TRUE(dev.SetLine(Line(76800, LineSettings::kNoParity)));
    const uint8_t zero = 0;
    ASSERT_TRUE(dev.Write(&zero, 1));
    ASSERT_EQ(peer.settings.size(), 1u);
    EXPECT_EQ(peer.settings[0].baudRate, 76800u);

    line.SendToProgram({0x41}, Line(19200, LineSettings::kEvenParity));
    clock.Sleep(5);
    uint8_t b = 0;
    ASSERT_EQ(dev.Read(&b, 1), 1u);
    EXPECT_NE(b, 0x41);
}

TEST(VirtualLine, OpenIsExclusiveAndNamed) {
    VirtualClock clock;
    VirtualLine line(clock, "ttyV0");
    VirtualSerialDevice a(line);
    VirtualSerialDevice b(line);
    EXPECT_FALSE(a.Open("ttyV1"));
    EXPECT_TRUE(a.Open("ttyV0"));
    EXPECT_FALSE(b.Open("ttyV0"));
    a.Close();
    EXPECT_TRUE(b.Open("ttyV0"));
    EXPECT_FALSE(b.SetLine(Line(0, LineSettings::kNoParity)));
    line.SetPresent(false);
    const uint8_t x = 1;
    EXPECT_FALSE(b.Write(&x, 1));
}

TEST(VirtualLine, WaitTransmitEmptyAdvancesToTheLastByte) {
    VirtualClock clock;
    VirtualLine line(clock, "ttyV0");
    VirtualSerialDevice dev(line);
    ASSERT_TRUE(dev.Open("ttyV0"));
    ASSERT_TRUE(dev.SetLine(Line(9600, LineSettings::kNoParity)));
    std::vector<uint8_t> block(100, 0x55);  // about 104 ms at 9600
    ASSERT_TRUE(dev.Write(block.data(), block.size()));
    EXPECT_FALSE(dev.WaitTransmitEmpty(50));
    EXPECT_TRUE(dev.WaitTransmitEmpty(150));
    EXPECT_GE(clock.NowUs(), 104'000u);
}

TEST(VirtualLine, PropagationDelayMovesTheArrivalsBothWays) {
    VirtualClock clock;
    VirtualLine line(clock, "ttyV0");
    RecordingPeer peer;
    line.AttachPeer(&peer);
    VirtualSerialDevice dev(line);
    ASSERT_TRUE(dev.Open("ttyV0"));
    const LineSettings s = Line(9600, LineSettings::kNoParity);  // 1042 us a char
    ASSERT_TRUE(dev.SetLine(s));
    line.SetPropagationDelayUs(20'000);

    // Program to peer: the bytes reach the peer 20 ms later, the transmit buffer empties on time.
    const uint8_t out[2] = {0x10, 0x16};
    ASSERT_TRUE(dev.Write(out, 2));
    ASSERT_EQ(peer.received.size(), 2u);
    EXPECT_EQ(peer.received[0].timeUs, 1042u + 20'000u);
    EXPECT_EQ(peer.received[1].timeUs, 2084u + 20'000u);
    EXPECT_TRUE(dev.WaitTransmitEmpty(5));
    EXPECT_EQ(clock.NowUs(), 2084u);

    // Peer to program: sent now, arriving a char time plus 20 ms later.
    const uint64_t sentAt = clock.NowUs();
    EXPECT_EQ(line.SendToProgram({0xE5}, s), sentAt + 1042 + 20'000);
    clock.AdvanceToUs(sentAt + 1042 + 19'999);
    EXPECT_EQ(dev.QueuedCount(), 0u);
    clock.AdvanceUs(1);
    EXPECT_EQ(dev.QueuedCount(), 1u);

    // A shorter delay set later does not let new bytes overtake those still on their way.
    line.SendToProgram({0x01}, s);
    line.SetPropagationDelayUs(0);
    line.SendToProgram({0x02}, s);
    clock.Sleep(30);
    uint8_t in[4] = {};
    ASSERT_EQ(dev.Read(in, sizeof in), 3u);
    EXPECT_EQ(in[0], 0xE5);
    EXPECT_EQ(in[1], 0x01);
    EXPECT_EQ(in[2], 0x02);
}

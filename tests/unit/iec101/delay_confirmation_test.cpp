// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <vector>

#include "iec101/delay_confirmation.h"

namespace {

// A confirmation as a station sends it: 68 L L 68 C A ASDU CS 16, the ASDU type 106 with the
// returned time as its element.
std::vector<uint8_t> Confirmation(const LinkConfig& lc, uint16_t returnedMs) {
    std::vector<uint8_t> asdu = {106, 1, 7};
    asdu.resize(asdu.size() + CauseBytes(lc.causeWidth) - 1);
    asdu.resize(asdu.size() + AddressBytes(lc.addressWidth), 0x01);
    asdu.resize(asdu.size() + IoaBytes(lc.ioaWidth), 0x00);
    asdu.push_back(static_cast<uint8_t>(returnedMs));
    asdu.push_back(static_cast<uint8_t>(returnedMs >> 8));
    return BuildVariableFrame(kUserDataControl, 1, lc, asdu);
}

}  // namespace

TEST(DelayFrames, TheConfirmationReturnsItsTimeForEveryFieldWidth) {
    for (int address : {1, 2}) {
        for (int ioa : {1, 2, 3}) {
            for (int cause : {1, 2}) {
                const LinkConfig lc = LinkConfig::FromWidths({static_cast<uint8_t>(address),
                                                              static_cast<uint8_t>(ioa),
                                                              static_cast<uint8_t>(cause)});
                SCOPED_TRACE(testing::Message() << address << ioa << cause);
                const std::vector<uint8_t> frame = Confirmation(lc, 12'345);
                ASSERT_EQ(frame.size(), DelayConfirmationLength(lc));
                EXPECT_EQ(ReturnedDelayTime(frame, lc), 12'345);
                // One byte more or less is another frame.
                std::vector<uint8_t> longer = frame;
                longer.push_back(0x16);
                EXPECT_EQ(ReturnedDelayTime(longer, lc), std::nullopt);
                EXPECT_EQ(ReturnedDelayTime(std::span(frame).first(frame.size() - 1), lc),
                          std::nullopt);
            }
        }
    }
}

TEST(DelayFrames, ADamagedConfirmationOrOneWithoutAMillisecondOfTheMinuteIsNoTime) {
    const LinkConfig lc = LinkConfig::FromWidths({1, 2, 1});
    const std::vector<uint8_t> good = Confirmation(lc, 100);
    struct Damage {
        const char* what;
        size_t at;
    };
    for (const Damage d : {Damage{"start", 0}, Damage{"checksum", good.size() - 2},
                           Damage{"end", good.size() - 1}, Damage{"a byte in the sum", 5}}) {
        std::vector<uint8_t> frame = good;
        ++frame[d.at];
        EXPECT_EQ(ReturnedDelayTime(frame, lc), std::nullopt) << d.what;
    }
    EXPECT_EQ(ReturnedDelayTime(Confirmation(lc, 0), lc), std::nullopt);
    EXPECT_EQ(ReturnedDelayTime(Confirmation(lc, 60'000), lc), std::nullopt);
    EXPECT_EQ(ReturnedDelayTime(Confirmation(lc, 0xFFFF), lc), std::nullopt);
    EXPECT_EQ(ReturnedDelayTime(Confirmation(lc, 59'999), lc), 59'999);
}

TEST(DelayFrames, OnlyTheFixedAcknowledgementLetsTheMeasurementGoOn) {
    const LinkConfig one = LinkConfig::FromWidths({1, 2, 1});
    const LinkConfig two = LinkConfig::FromWidths({2, 2, 1});
    EXPECT_TRUE(IsDelayAcknowledgement(BuildFixedFrame(0x00, 1, one), one));
    EXPECT_TRUE(IsDelayAcknowledgement(BuildFixedFrame(0x00, 1, two), two));
    EXPECT_FALSE(IsDelayAcknowledgement(BuildFixedFrame(0x00, 1, one), two));
    EXPECT_FALSE(IsDelayAcknowledgement(BuildFixedFrame(0x09, 1, one), one));  // no data
    EXPECT_FALSE(IsDelayAcknowledgement(std::vector<uint8_t>{kSingleAck}, one));
}

TEST(DelayFrames, TheDelayIsHalfTheRoundTripAcrossTheMinute) {
    EXPECT_EQ(OneWayDelayMs(1'040, 1'000), 20);
    EXPECT_EQ(OneWayDelayMs(30, 59'990), 20);  // the arrival in the next minute
    EXPECT_EQ(OneWayDelayMs(1'000, 1'000), 0);
}

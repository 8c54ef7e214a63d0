// SPDX-License-Identifier: MIT
#include "channel/line_mode.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>

#include "channel/serial_channel.h"
#include "platform/virtual/virtual_line.h"

namespace {

constexpr uint8_t kBad = LineSettings::kInvalidCode;

struct ModeCase {
    const char* text;
    uint32_t baud;
    uint8_t dataBits;
    uint8_t parity;
    uint8_t stopBits;
    bool accepted;  // whether a driver can take the result
    friend std::ostream& operator<<(std::ostream& out, const ModeCase& c) {
        return out << '"' << c.text << '"';
    }
};

class ParseModeStringTest : public testing::TestWithParam<ModeCase> {};

TEST_P(ParseModeStringTest, GivesTheFieldsAndDisablesDtrEnablesRts) {
    const ModeCase& c = GetParam();
    LineSettings base;
    base.dtrOn = true;
    base.rtsOn = false;
    const LineSettings s = ParseModeString(c.text, base);
    EXPECT_EQ(s.baudRate, c.baud);
    EXPECT_EQ(s.dataBits, c.dataBits);
    EXPECT_EQ(s.parity, c.parity);
    EXPECT_EQ(s.stopBits, c.stopBits);
    EXPECT_FALSE(s.dtrOn);
    EXPECT_TRUE(s.rtsOn);
    EXPECT_EQ(HasValidCodes(s), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseModeStringTest,
    testing::Values(ModeCase{"19200,E,8,1", 19200, 8, LineSettings::kEvenParity, 0, true},
                    ModeCase{"76800,N,8,1", 76800, 8, LineSettings::kNoParity, 0, true},
                    ModeCase{"9600 , N , 8 , 2", 9600, 8, LineSettings::kNoParity, 2, true},
                    ModeCase{"9600,НЕЧЕТ,8,1.5", 9600, 8, LineSettings::kOddParity, 1, true},
                    ModeCase{"9600,НЕТ,7,1", 9600, 7, LineSettings::kNoParity, 0, true},
                    ModeCase{"19200,ЧЕТ,8,1", 19200, 8, LineSettings::kEvenParity, 0, true},
                    ModeCase{"9600,,8,1", 9600, 8, LineSettings::kNoParity, 0, true},
                    ModeCase{"1200,M,7,2", 1200, 7, LineSettings::kMarkParity, 2, true},
                    ModeCase{"1200,S,8,1", 1200, 8, LineSettings::kSpaceParity, 0, true},
                    // The first letter decides; the separator after the digit is not looked at.
                    ModeCase{"4800,ODD,8;1", 4800, 8, LineSettings::kOddParity, 0, true},
                    ModeCase{"2400abc,EVEN,8,1", 2400, 8, LineSettings::kEvenParity, 0, true},
                    // A rate beyond 32 bits saturates; whether it is usable is the driver's call.
                    ModeCase{"99999999999,N,8,1", 0xFFFFFFFFu, 8, LineSettings::kNoParity, 0,
                             true}));

INSTANTIATE_TEST_SUITE_P(
    Rejected, ParseModeStringTest,
    testing::Values(ModeCase{"9600,n,8,1", 9600, 8, kBad, 0, false},
                    ModeCase{"9600,X,8,1", 9600, 8, kBad, 0, false},
                    // A Russian word only counts as a whole field.
                    ModeCase{"9600,НЕТТ,8,1", 9600, 8, kBad, 0, false},
                    ModeCase{"9600,N,8", 9600, 8, LineSettings::kNoParity, kBad, false},
                    ModeCase{"9600,N,8,3", 9600, 8, LineSettings::kNoParity, kBad, false},
                    ModeCase{"9600,N,8,1.0", 9600, 8, LineSettings::kNoParity, kBad, false},
                    // Two digits: the second is skipped as the separator, the rest is ",1".
                    ModeCase{"9600,N,10,1", 9600, 1, LineSettings::kNoParity, kBad, false},
                    ModeCase{"9600,N,", 9600, kBad, LineSettings::kNoParity, kBad, false},
                    ModeCase{"9600,N,x,1", 9600, kBad, LineSettings::kNoParity, 0, false},
                    ModeCase{",НЕТ,8,1", 0, 8, LineSettings::kNoParity, 0, false}));

TEST(ParseModeString, FewerThanTwoCommasIsAnInvalidArgument) {
    for (const char* text : {"9600", "9600,N", "", "9600 N 8 1"}) {
        EXPECT_THROW(ParseModeString(text, LineSettings{}), std::invalid_argument) << text;
    }
}

TEST(ModeStringFromLinkSettingsByte, PacksBaudParityDataAndStopBits) {
    const std::pair<uint8_t, const char*> cases[] = {
        {0xC7, "19200,ЧЕТ,8,1"},   {0x15, "9600,НЕТ,7,2"},  {0x65, "9600,НЕЧЕТ,7,1"},
        {0xA8, "38400,НЕТ,8,1"},   {0x92, "1200,НЕТ,8,2"},  {0x83, "2400,НЕТ,8,1"},
        {0x84, "4800,НЕТ,8,1"},    {0x86, "14400,НЕТ,8,1"}, {0x89, "56000,НЕТ,8,1"},
        {0xEA, "64000,НЕЧЕТ,8,1"}, {0x40, ",ЧЕТ,7,1"},      {0x01, ",НЕТ,7,1"},
        {0x0B, ",НЕТ,7,1"},        {0xFF, ",НЕЧЕТ,8,2"}};
    for (const auto& [byte, text] : cases) {
        EXPECT_EQ(ModeStringFromLinkSettingsByte(byte), text) << int{byte};
    }
}

TEST(ModeStringFromLinkSettingsByte, EveryKnownBaudCodeParsesToValidSettings) {
    for (int byte = 0; byte < 256; ++byte) {
        const uint8_t code = byte & 0x0F;
        const LineSettings s =
            ParseModeString(ModeStringFromLinkSettingsByte(static_cast<uint8_t>(byte)), {});
        EXPECT_EQ(HasValidCodes(s), code >= 2 && code <= 10) << byte;
    }
}

class ApplyModeTest : public testing::Test {
  protected:
    VirtualClock clock;
    VirtualLine line{clock, "ttyV0"};
    VirtualSerialDevice device{line};
    SerialChannel channel{device, clock};
};

TEST_F(ApplyModeTest, NotOpenFailsBeforeTheStringIsParsed) {
    EXPECT_FALSE(channel.ApplyMode("9600"));
    EXPECT_FALSE(channel.ApplyMode("19200,E,8,1"));
}

TEST_F(ApplyModeTest, AppliesAcceptedSettingsAndKeepsTheLineOnRejection) {
    ASSERT_TRUE(channel.OpenPort("ttyV0"));
    ASSERT_TRUE(channel.ApplyMode("19200,E,8,1"));
    const LineSettings applied = line.ProgramSettings();
    EXPECT_EQ(applied.baudRate, 19200u);
    EXPECT_EQ(applied.parity, LineSettings::kEvenParity);
    EXPECT_FALSE(applied.dtrOn);
    EXPECT_TRUE(applied.rtsOn);
    EXPECT_EQ(channel.lineSettings(), applied);

    for (const char* text : {"9600,n,8,1", "9600,N,8", "9600,N,8,3", ",НЕТ,8,1"}) {
        EXPECT_FALSE(channel.ApplyMode(text)) << text;
        EXPECT_EQ(line.ProgramSettings(), applied) << text;
    }
    EXPECT_THROW(channel.ApplyMode("9600"), std::invalid_argument);

    EXPECT_TRUE(channel.ApplyLinkSettingsByte(0x15));
    EXPECT_EQ(line.ProgramSettings().baudRate, 9600u);
    EXPECT_EQ(line.ProgramSettings().dataBits, 7);
    EXPECT_EQ(line.ProgramSettings().stopBits, LineSettings::kTwoStopBits);
    EXPECT_FALSE(channel.ApplyLinkSettingsByte(0x0F));
    EXPECT_EQ(line.ProgramSettings().baudRate, 9600u);
}

}  // namespace

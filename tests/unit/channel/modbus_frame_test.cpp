// SPDX-License-Identifier: MIT
#include "channel/modbus_frame.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "unit/channel/channel_test_util.h"

namespace {

TEST(ModbusChecksum, Crc16CheckValueAndLrc) {
    EXPECT_EQ(ComputeCrc16(Chars("123456789")), 0x4B37);
    EXPECT_EQ(FrameRtu(Chars("123456789")).back(), 0x4B);
    EXPECT_EQ(ComputeCrc16(Hex("01 04 01 00 00 0C")), 0xF3F1);
    EXPECT_EQ(ComputeLrc(Hex("01 04 01 00 00 0C")), 0xEE);
    EXPECT_EQ(ComputeLrc({}), 0x00);
}

TEST(ModbusHex, NibblesAndCharactersIncludingTheNonHexRule) {
    EXPECT_EQ(NibbleToHex(0), '0');
    EXPECT_EQ(NibbleToHex(9), '9');
    EXPECT_EQ(NibbleToHex(10), 'A');
    EXPECT_EQ(NibbleToHex(15), 'F');
    EXPECT_EQ(NibbleToHex(16), 16);
    EXPECT_EQ(NibbleToHex(0xC3), 0xC3);
    EXPECT_EQ(HexToNibble('0'), 0);
    EXPECT_EQ(HexToNibble('9'), 9);
    EXPECT_EQ(HexToNibble('A'), 10);
    EXPECT_EQ(HexToNibble('F'), 15);
    EXPECT_EQ(HexToNibble('a'), 0x61);
    EXPECT_EQ(HexToNibble('G'), 'G');
    EXPECT_EQ(HexToNibble(0), 0);
    EXPECT_EQ(HexPairToByte('B', '3'), 0xB3);
}

TEST(ModbusRequest, TheSystemsOwnRequests) {
    const std::vector<uint8_t> poll = Hex("00 0C");
    EXPECT_EQ(BuildRtuRequest(1, 4, 0x0100, &poll), Hex("01 04 01 00 00 0C F1 F3"));
    EXPECT_EQ(BuildAsciiRequest(1, 4, 0x0100, &poll), Chars(":01040100000CEE\r\n"));
    const std::vector<uint8_t> endConfig = Hex("00");
    EXPECT_EQ(BuildRtuRequest(1, 127, 0x1234, &endConfig), Hex("01 7F 00 00 30"));
}

struct LayoutCase {
    uint8_t function;
    const char* rtu;    // RTU frame for data A1..A5, address 0x11, register 0x1234
    const char* ascii;  // ASCII frame for the same request
    friend std::ostream& operator<<(std::ostream& out, const LayoutCase& c) {
        return out << "function " << int{c.function};
    }
};

class RequestLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(RequestLayoutTest, EachFunctionPlacesRegisterAndData) {
    const LayoutCase& c = GetParam();
    const std::vector<uint8_t> data = Hex("A1 A2 A3 A4 A5");
    EXPECT_EQ(BuildRtuRequest(0x11, c.function, 0x1234, &data), Hex(c.rtu));
    EXPECT_EQ(BuildAsciiRequest(0x11, c.function, 0x1234, &data), Chars(c.ascii));
}

INSTANTIATE_TEST_SUITE_P(
    AllFunctions, RequestLayoutTest,
    testing::Values(LayoutCase{3, "11 03 12 34 A1 A2 A3 A4 A5 68 38", ":11031234A1A263\r\n"},
                    LayoutCase{4, "11 04 12 34 A1 A2 A3 A4 A5 29 DE", ":11041234A1A262\r\n"},
                    LayoutCase{6, "11 06 12 34 A1 A2 A3 A4 A5 A8 07", ":11061234A3A45C\r\n"},
                    LayoutCase{16, "11 10 12 34 A1 A2 A3 A4 A5 29 21", ":11101234A1A2A3A4A56A\r\n"},
                    LayoutCase{102, "11 66 05 A1 A2 A3 A4 A5 52 60", ":1166A1A2A3A4A55A\r\n"},
                    LayoutCase{104, "11 68 A1 A2 A3 A4 A5 C6 11", ":11681234A1A2A3A4A512\r\n"},
                    LayoutCase{106, "11 6A A1 A2 A3 A4 A5 C7 F3", ":116A1234A19E\r\n"},
                    LayoutCase{100, "11 64 A1 A2 A3 A4 A5 C6 DD", ":11648B\r\n"}));

TEST(ModbusRequest, MissingOrShortDataBlocks) {
    const std::vector<uint8_t> empty;
    EXPECT_EQ(BuildRtuRequest(0x11, 102, 0, nullptr), Hex("11 66 8D CA"));
    EXPECT_EQ(BuildRtuRequest(0x11, 102, 0, &empty), Hex("11 66 00 0A 65"));
    EXPECT_EQ(BuildRtuRequest(0x11, 127, 0x1234, nullptr), Hex("11 7F 4C 00"));
    // The ASCII layouts take only the bytes a short block has.
    const std::vector<uint8_t> three = Hex("A1 A2 A3");
    EXPECT_EQ(BuildAsciiRequest(0x11, 6, 0x1234, &three), FrameAscii(Hex("11 06 12 34 A3")));
    EXPECT_EQ(BuildAsciiRequest(0x11, 4, 0x1234, nullptr), FrameAscii(Hex("11 04 12 34")));
    EXPECT_EQ(BuildAsciiRequest(0x11, 106, 0x1234, &empty), FrameAscii(Hex("11 6A 12 34")));
}

struct AnswerCase {
    const char* name;
    std::vector<uint8_t> collected;
    uint8_t result;
    std::optional<std::vector<uint8_t>> appended;  // nullopt: nothing appended
};

void CheckAppended(const AnswerCase& c, uint8_t result, const std::vector<uint8_t>& answer) {
    const std::vector<uint8_t> prior = Hex("EE");
    EXPECT_EQ(result, c.result) << c.name;
    std::vector<uint8_t> expected = prior;
    if (c.appended) {
        expected.insert(expected.end(), c.appended->begin(), c.appended->end());
    }
    EXPECT_EQ(answer, expected) << c.name;
}

TEST(ModbusAnswer, RtuCases) {
    const std::vector<AnswerCase> cases = {
        {"register answer", Hex("01 04 02 12 34 B4 47"), kModbusValid, Hex("01 04 02 12 34")},
        {"exception passes", Hex("01 84 02 C2 C1"), kModbusValid, Hex("01 84 02")},
        {"crc low byte wrong", Hex("01 04 02 12 34 B5 47"), kModbusChecksumMismatch, {}},
        {"crc bytes swapped", Hex("01 04 02 12 34 47 B4"), kModbusChecksumMismatch, {}},
        {"four bytes with a good crc", FrameRtu(Hex("01 04")), kModbusNoAnswer, {}},
        {"nothing", {}, kModbusNoAnswer, {}},
    };
    for (const AnswerCase& c : cases) {
        std::vector<uint8_t> answer = Hex("EE");
        CheckAppended(c, CheckRtuAnswer(c.collected, answer), answer);
    }
}

TEST(ModbusAnswer, AsciiCases) {
    std::vector<uint8_t> noise = Chars(":0104021234B3\r\n");
    noise.insert(noise.begin(), 0x00);
    const std::vector<AnswerCase> cases = {
        {"register answer", Chars(":0104021234B3\r\n"), kModbusValid, Hex("01 04 02 12 34")},
        {"function 3", Chars(":01030401020304EE\r\n"), kModbusValid, Hex("01 03 04 01 02 03 04")},
        {"lower-case lrc", Chars(":0104021234b3\r\n"), kModbusChecksumMismatch, {}},
        {"wrong lrc", Chars(":0104021234B4\r\n"), kModbusChecksumMismatch, {}},
        {"CR without LF", Chars(":0104021234B3\r"), kModbusNoLineFeed, {}},
        {"stray byte before colon", noise, kModbusNoColon, {}},
        {"four characters", Chars(":0\r\n"), kModbusNoAnswer, {}},
        {"exception code 2", Chars(":01840279\r\n"), 102, Hex("01 84 00 00")},
        {"exception without code", Chars(":01847B\r\n"), 100, Hex("01 84 00 00")},
        // 100 + 156 would wrap to 0, "valid": a large code saturates instead.
        {"exception code 156", FrameAscii(Hex("01 84 9C")), 255, Hex("01 84 00 00")},
        {"exception code 155", FrameAscii(Hex("01 83 9B")), 255, Hex("01 83 00 00")},
        {"exception code 157", FrameAscii(Hex("01 84 9D")), 255, Hex("01 84 00 00")},
        {"function 16 echo", Chars(":011001000004EA\r\n"), kModbusValid, Hex("01 10 01 00 00 04")},
        {"function 106 drops the count", Chars(":016A030708097A\r\n"), kModbusValid,
         Hex("01 6A 07 08 09")},
        {"function 104 skips the register", Chars(":016800050102030405067D\r\n"), kModbusValid,
         Hex("01 68 01 02 03 04")},
        {"function 6 has all data bytes", Chars(":01060005ABCD7C\r\n"), kModbusValid,
         Hex("01 06 00 05 AB CD")},
        {"count beyond the frame", Chars(":0104090102EF\r\n"), kModbusNoAnswer, {}},
    };
    for (const AnswerCase& c : cases) {
        std::vector<uint8_t> answer = Hex("EE");
        CheckAppended(c, CheckAsciiAnswer(c.collected, answer), answer);
    }
}

TEST(ModbusAnswer, FramedBodiesRoundTrip) {
    const std::vector<uint8_t> body = Hex("07 03 06 00 01 FF FE 80 00");
    std::vector<uint8_t> rtu;
    EXPECT_EQ(CheckRtuAnswer(FrameRtu(body), rtu), kModbusValid);
    EXPECT_EQ(rtu, body);
    std::vector<uint8_t> ascii;
    EXPECT_EQ(CheckAsciiAnswer(FrameAscii(body), ascii), kModbusValid);
    EXPECT_EQ(ascii, body);
}

}  // namespace

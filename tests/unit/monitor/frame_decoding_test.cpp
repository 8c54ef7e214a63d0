// SPDX-License-Identifier: MIT
// The line monitor's decoding of recorded frames: exact byte vectors of every frame kind, read
// into fields, described in one line and judged failed or not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/line_mode.h"
#include "channel/modbus_frame.h"
#include "iec101/ft12_frame.h"
#include "monitor/frame_decoding.h"
#include "support/hex.h"

namespace {

constexpr auto kSent = TrafficDirection::kSent;
constexpr auto kReceived = TrafficDirection::kReceived;
constexpr FrameWidths kNarrow{1, 1, 1, 2};
constexpr FrameWidths kWide{2, 2, 2, 2};
// Two-byte link address and cause, one-byte common address.
constexpr FrameWidths kMixed{2, 1, 2, 2};

LineSettings Line(uint32_t baud, uint8_t parity, uint8_t stopBits = LineSettings::kOneStopBit) {
    LineSettings line;
    line.baudRate = baud;
    line.parity = parity;
    line.stopBits = stopBits;
    return line;
}

// A frame as the recorder hands it out; the bytes stay with the case.
struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    FrameKind kind;
    TrafficDirection direction;
    FrameWidths widths;
    uint8_t result;
    // ReadFrameFields in short (see Summary), the description's parts, the failure verdict.
    const char* fields;
    std::vector<const char*> text;
    bool failed;
};

TrafficFrame FrameOf(const Case& c) {
    TrafficFrame frame;
    frame.kind = c.kind;
    frame.direction = c.direction;
    frame.result = c.result;
    frame.context.widths = c.widths;
    frame.context.line = Line(19200, LineSettings::kEvenParity);
    frame.bytes = c.bytes;
    return frame;
}

std::vector<uint8_t> Ascii(const std::string& text) {
    return {text.begin(), text.end()};
}

// The fields that are there, in a fixed order: "modbus ok full a=1 f=3 start=0 count=10".
std::string Summary(const FrameFields& f) {
    static const char* const kShapes[] = {"wake", "modbus", "fixed", "variable", "single", "bytes"};
    std::string s = kShapes[static_cast<int>(f.shape)];
    s += f.checksumGood ? " ok" : " bad";
    s += f.complete ? " full" : " part";
    const auto add = [&s](const char* name, auto value) {
        if (value) {
            s += std::string(" ") + name + "=" + std::to_string(*value);
        }
    };
    add("a", f.address);
    add("f", f.function);
    add("start", f.start);
    add("count", f.count);
    add("bytes", f.byteCount);
    add("exc", f.exception);
    if (f.linkAddress) {
        s += f.prm ? " prm fcb=" : " sec acd=";
        s += f.fcbOrAcd ? '1' : '0';
        s += f.prm ? " fcv=" : " dfc=";
        s += f.fcvOrDfc ? '1' : '0';
        s += " fn=" + std::to_string(f.linkFunction);
    }
    add("link", f.linkAddress);
    add("type", f.asduType);
    add("cause", f.cause);
    if (f.negative) {
        s += " pn";
    }
    if (f.test) {
        s += " t";
    }
    add("ca", f.commonAddress);
    add("n", f.objects);
    if (f.sequence) {
        s += " sq";
    }
    return s;
}

const std::vector<Case>& ModbusRtuCases() {
    // clang-format off
    static const std::vector<Case> cases = {
        {"read holding request", Hex("01 03 00 00 00 0A C5 CD"), FrameKind::kModbusRtu, kSent,
         kNarrow, kNoFrameResult, "modbus ok full a=1 f=3 start=0 count=10",
         {"Modbus RTU запрос: адрес 1, функция 3 (чтение регистров хранения), регистр 0, "
          "количество 10, CRC верна"},
         false},
        {"read holding answer", Hex("01 03 04 00 0A 00 14 DA 3E"), FrameKind::kModbusRtu, kReceived,
         kNarrow, kModbusValid, "modbus ok full a=1 f=3 bytes=4",
         {"Modbus RTU ответ: адрес 1, функция 3", "байт данных 4, CRC верна"}, false},
        {"read input request", Hex("02 04 01 00 00 07 B0 07"), FrameKind::kModbusRtu, kSent,
         kNarrow, kNoFrameResult, "modbus ok full a=2 f=4 start=256 count=7",
         {"адрес 2, функция 4 (чтение входных регистров), регистр 256, количество 7"}, false},
        {"read input answer", Hex("02 04 04 00 E6 00 DC 28 EA"), FrameKind::kModbusRtu, kReceived,
         kNarrow, kModbusValid, "modbus ok full a=2 f=4 bytes=4", {"байт данных 4"}, false},
        {"write registers request", Hex("01 10 01 07 00 04 08 00 04 08 00 1F 40 0F 68 07 A6"),
         FrameKind::kModbusRtu, kSent, kNarrow, kNoFrameResult,
         "modbus ok full a=1 f=16 start=263 count=4 bytes=8",
         {"функция 16 (запись регистров), регистр 263, количество 4, байт данных 8"}, false},
        {"write registers answer", Hex("01 10 01 07 00 04 71 F7"), FrameKind::kModbusRtu, kReceived,
         kNarrow, kModbusValid, "modbus ok full a=1 f=16 start=263 count=4",
         {"регистр 263, количество 4, CRC верна"}, false},
        {"configuration request", Hex("01 64 4B 31 B7 23"), FrameKind::kModbusRtu, kSent, kNarrow,
         kNoFrameResult, "modbus ok full a=1 f=100 bytes=2", {"функция 100 (чтение конфигурации)"},
         false},
        {"configuration answer", Hex("01 64 05 41 42 43 44 45 8F 04"), FrameKind::kModbusRtu,
         kReceived, kNarrow, kModbusValid, "modbus ok full a=1 f=100 bytes=6",
         {"функция 100 (чтение конфигурации), байт данных 6"}, false},
        {"end of configuration", Hex("01 7F 41 C0"), FrameKind::kModbusRtu, kSent, kNarrow,
         kNoFrameResult, "modbus ok full a=1 f=127 bytes=0", {"функция 127 (конец конфигурации)"},
         false},
        {"rtc test request", Hex("01 76 52 54 DC 9D"), FrameKind::kModbusRtu, kSent, kNarrow,
         kNoFrameResult, "modbus ok full a=1 f=118 bytes=2", {"функция 118 (проверка RTC)"}, false},
        {"rtc test confirmed", Hex("01 76 52 54 DC 9D"), FrameKind::kModbusRtu, kReceived, kNarrow,
         kModbusValid, "modbus ok full a=1 f=118 bytes=2", {"ответ: адрес 1"}, false},
        {"exception", Hex("01 84 02 C2 C1"), FrameKind::kModbusRtu, kReceived, kNarrow,
         kModbusExceptionBase + 2, "modbus ok full a=1 f=132 exc=2",
         {"функция 4, исключение 2 (недопустимый адрес данных), CRC верна"}, true},
        {"bad crc", Hex("01 03 00 00 00 0A C5 CE"), FrameKind::kModbusRtu, kReceived, kNarrow,
         kModbusChecksumMismatch, "modbus bad full a=1 f=3 bytes=0", {"CRC неверна"}, true},
        {"count beyond the frame", Hex("01 03 04 00 0A D8 42"), FrameKind::kModbusRtu, kReceived,
         kNarrow, kModbusNoAnswer, "modbus ok part a=1 f=3 bytes=4",
         {"байт данных 4, неполный, CRC верна"}, true},
        {"short", Hex("01 03"), FrameKind::kModbusRtu, kReceived, kNarrow, kModbusNoAnswer,
         "modbus bad part a=1 f=3", {"адрес 1, функция 3", "неполный, CRC неверна"}, true},
        {"one byte", Hex("01"), FrameKind::kModbusRtu, kReceived, kNarrow, kModbusNoAnswer,
         "modbus bad part", {"Modbus RTU ответ, 1 байт, не кадр"}, true},
        {"good frame the check refused (another slave)", Hex("02 04 04 00 E6 00 DC 28 EA"),
         FrameKind::kModbusRtu, kReceived, kNarrow, kModbusNoAnswer,
         "modbus ok full a=2 f=4 bytes=4", {"CRC верна"}, true},
    };
    // clang-format on
    return cases;
}

const std::vector<Case>& ModbusAsciiCases() {
    // clang-format off
    static const std::vector<Case> cases = {
        {"ascii request", Ascii(":020401000006F3\r\n"), FrameKind::kModbusAscii, kSent, kNarrow,
         kNoFrameResult, "modbus ok full a=2 f=4 start=256 count=6",
         {"Modbus ASCII запрос: адрес 2, функция 4", "количество 6, LRC верна"}, false},
        {"ascii answer", Ascii(":02040C000100020003000400050006D9\r\n"), FrameKind::kModbusAscii,
         kReceived, kNarrow, kModbusValid, "modbus ok full a=2 f=4 bytes=12",
         {"Modbus ASCII ответ: адрес 2", "байт данных 12, LRC верна"}, false},
        {"ascii exception", Ascii(":02840377\r\n"), FrameKind::kModbusAscii, kReceived, kNarrow,
         kModbusExceptionBase + 3, "modbus ok full a=2 f=132 exc=3",
         {"исключение 3 (недопустимое значение данных)"}, true},
        {"ascii bad lrc", Ascii(":02040C000100020003000400050006DA\r\n"), FrameKind::kModbusAscii,
         kReceived, kNarrow, kModbusChecksumMismatch, "modbus bad full a=2 f=4 bytes=12",
         {"LRC неверна"}, true},
        {"ascii cut short", Ascii(":02040C0001"), FrameKind::kModbusAscii, kReceived, kNarrow,
         kModbusNoLineFeed, "modbus bad part a=2 f=4 bytes=12", {"неполный, LRC неверна"}, true},
        {"ascii without colon", Ascii("020401000006F3\r\n"), FrameKind::kModbusAscii, kReceived,
         kNarrow, kModbusNoColon, "bytes bad part", {"Modbus ASCII: 16 байт, не кадр"}, true},
        {"ascii not hex", Ascii(":02G401000006F3\r\n"), FrameKind::kModbusAscii, kReceived, kNarrow,
         kModbusNoColon, "bytes bad part", {"не кадр"}, true},
    };
    // clang-format on
    return cases;
}

const std::vector<Case>& Ft12Cases() {
    // clang-format off
    static const std::vector<Case> cases = {
        {"link status request", Hex("10 49 01 4A 16"), FrameKind::kFt12, kSent, kNarrow,
         kNoFrameResult, "fixed ok full prm fcb=0 fcv=0 fn=9 link=1",
         {"FT1.2 фиксированный: PRM=1 FCB=0 FCV=0, функция 9 (запрос состояния канала), "
          "адрес 1, сумма верна"},
         false},
        {"class 2 request, FCB set", Hex("10 7B 01 7C 16"), FrameKind::kFt12, kSent, kNarrow,
         kNoFrameResult, "fixed ok full prm fcb=1 fcv=1 fn=11 link=1",
         {"PRM=1 FCB=1 FCV=1, функция 11 (запрос данных класса 2)"}, false},
        {"link status answer", Hex("10 0B 01 0C 16"), FrameKind::kFt12, kReceived, kNarrow,
         kReceiveOk, "fixed ok full sec acd=0 dfc=0 fn=11 link=1",
         {"PRM=0 ACD=0 DFC=0, функция 11 (состояние канала), адрес 1"}, false},
        {"no data", Hex("10 09 01 0A 16"), FrameKind::kFt12, kReceived, kNarrow, kReceiveNoData,
         "fixed ok full sec acd=0 dfc=0 fn=9 link=1", {"функция 9 (нет данных)"}, false},
        {"acknowledgement with ACD", Hex("10 20 01 21 16"), FrameKind::kFt12, kReceived, kNarrow,
         kReceiveOk, "fixed ok full sec acd=1 dfc=0 fn=0 link=1",
         {"PRM=0 ACD=1 DFC=0, функция 0 (подтверждение)"}, false},
        {"DFC refused", Hex("10 10 01 11 16"), FrameKind::kFt12, kReceived, kNarrow,
         kReceiveRejected, "fixed ok full sec acd=0 dfc=1 fn=0 link=1", {"ACD=0 DFC=1"}, true},
        {"two-byte link address", Hex("10 53 02 01 56 16"), FrameKind::kFt12, kSent, kWide,
         kNoFrameResult, "fixed ok full prm fcb=0 fcv=1 fn=3 link=258",
         {"функция 3 (данные с подтверждением), адрес 258"}, false},
        {"two-byte link address 0x1234", Hex("10 4B 34 12 91 16"), FrameKind::kFt12, kSent, kWide,
         kNoFrameResult, "fixed ok full prm fcb=0 fcv=0 fn=11 link=4660", {"адрес 4660"}, false},
        {"fixed frame read with the wrong width", Hex("10 4B 34 12 91 16"), FrameKind::kFt12, kSent,
         kNarrow, kNoFrameResult, "fixed bad full prm fcb=0 fcv=0 fn=11 link=52",
         {"сумма или рамка неверна"}, true},
        {"fixed bad checksum", Hex("10 49 01 4B 16"), FrameKind::kFt12, kReceived, kNarrow,
         kReceiveBadChecksum, "fixed bad full prm fcb=0 fcv=0 fn=9 link=1",
         {"сумма или рамка неверна"}, true},
        {"fixed bad end", Hex("10 0B 01 0C 17"), FrameKind::kFt12, kReceived, kNarrow,
         kReceiveBadEnd, "fixed bad full sec acd=0 dfc=0 fn=11 link=1", {"сумма или рамка неверна"},
         true},
        {"fixed short", Hex("10 0B"), FrameKind::kFt12, kReceived, kNarrow, kReceiveShort,
         "fixed bad part", {"FT1.2 фиксированный, неполный"}, true},
        {"clock synchronisation",
         Hex("68 0F 0F 68 73 01 67 01 06 01 00 00 5C 1B 05 0E 6D 03 18 F5 16"), FrameKind::kFt12,
         kSent, kNarrow, kNoFrameResult,
         "variable ok full prm fcb=1 fcv=1 fn=3 link=1 type=103 cause=6 ca=1 n=1",
         {"FT1.2 переменный: PRM=1 FCB=1 FCV=1, функция 3 (данные с подтверждением), адрес 1, "
          "ASDU тип 103 (C_CS_NA_1), причина 6 (активация), общий адрес 1, объектов 1, "
          "сумма верна"},
         false},
        {"sequence of values", Hex("68 0E 0E 68 08 01 0D 82 14 01 00 01 00 00 00 66 43 00 57 16"),
         FrameKind::kFt12, kReceived, kNarrow, kReceiveOk,
         "variable ok full sec acd=0 dfc=0 fn=8 link=1 type=13 cause=20 ca=1 n=2 sq",
         {"функция 8 (данные пользователя)", "тип 13 (M_ME_NC_1), причина 20 (общий опрос)",
          "объектов 2"},
         false},
        {"negative confirmation, two-byte fields",
         Hex("68 0C 0C 68 28 02 01 64 01 47 02 01 02 00 00 14 F0 16"), FrameKind::kFt12, kReceived,
         kWide, kReceiveOk,
         "variable ok full sec acd=1 dfc=0 fn=8 link=258 type=100 cause=7 pn ca=513 n=1",
         {"ACD=1", "причина 7 (подтверждение активации) P/N, общий адрес 513"}, false},
        {"test bit, two-byte cause, one-byte common address",
         Hex("68 0F 0F 68 08 09 00 0D 01 83 07 01 02 00 00 00 00 00 00 AC 16"), FrameKind::kFt12,
         kReceived, kMixed, kReceiveOk,
         "variable ok full sec acd=0 dfc=0 fn=8 link=9 type=13 cause=3 t ca=1 n=1",
         {"причина 3 (спорадически) T, общий адрес 1"}, false},
        {"variable bad checksum",
         Hex("68 0E 0E 68 08 01 0D 82 14 01 00 01 00 00 00 66 43 00 58 16"), FrameKind::kFt12,
         kReceived, kNarrow, kReceiveBadChecksum,
         "variable bad full sec acd=0 dfc=0 fn=8 link=1 type=13 cause=20 ca=1 n=2 sq",
         {"сумма или рамка неверна"}, true},
        {"variable lengths differ",
         Hex("68 0E 0F 68 08 01 0D 82 14 01 00 01 00 00 00 66 43 00 57 16"), FrameKind::kFt12,
         kReceived, kNarrow, kReceiveBadStart,
         "variable bad full sec acd=0 dfc=0 fn=8 link=1 type=13 cause=20 ca=1 n=2 sq",
         {"сумма или рамка неверна"}, true},
        {"variable cut short", Hex("68 0F 0F 68 73 01 67 01 06 01"), FrameKind::kFt12, kReceived,
         kNarrow, kReceiveShort,
         "variable bad part prm fcb=1 fcv=1 fn=3 link=1 type=103 cause=6 ca=1 n=1",
         {"неполный, сумма или рамка неверна"}, true},
        {"single acknowledgement", Hex("E5"), FrameKind::kFt12, kReceived, kNarrow,
         kReceiveSingleAck, "single ok full", {"FT1.2 E5 (квитирование)"}, false},
        {"garbage", Hex("FF 00 12"), FrameKind::kFt12, kReceived, kNarrow, kReceiveBadStart,
         "bytes bad part", {"FT1.2: 3 байт, не кадр"}, true},
    };
    // clang-format on
    return cases;
}

const std::vector<Case>& OtherCases() {
    // clang-format off
    static const std::vector<Case> cases = {
        {"wake-up bytes", Hex("00 00 00 00 00"), FrameKind::kWakeUp, kSent, kNarrow, kNoFrameResult,
         "wake ok full", {"Пробуждение: 5 байт при 19200,E,8,1"}, false},
        {"heard during the scan", Hex("00 FF"), FrameKind::kWakeUp, kReceived, kNarrow,
         kNoFrameResult, "wake ok full", {"Приём при поиске: 2 байт при 19200,E,8,1"}, false},
        {"discarded", Hex("01 02 03"), FrameKind::kDiscarded, kReceived, kNarrow, kNoFrameResult,
         "bytes bad part", {"Сброшено из приёма: 3 байт"}, true},
    };
    // clang-format on
    return cases;
}

void CheckCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TrafficFrame frame = FrameOf(c);
        EXPECT_EQ(Summary(ReadFrameFields(frame)), c.fields);
        const std::string text = DescribeFrame(frame);
        for (const char* part : c.text) {
            EXPECT_NE(text.find(part), std::string::npos) << text << "\nlacks: " << part;
        }
        EXPECT_EQ(IsFailedFrame(frame), c.failed) << text;
        EXPECT_EQ(ReadFrameFields(frame).request, c.direction == kSent);
    }
}

}  // namespace

TEST(FrameDecoding, ModbusRtu) {
    CheckCases(ModbusRtuCases());
}

TEST(FrameDecoding, ModbusAscii) {
    CheckCases(ModbusAsciiCases());
}

TEST(FrameDecoding, Ft12) {
    CheckCases(Ft12Cases());
}

TEST(FrameDecoding, WakeUpAndDiscardedBytes) {
    CheckCases(OtherCases());
}

TEST(FrameDecoding, WakeUpTextCarriesTheLineSettingsOfItsFrame) {
    const std::vector<uint8_t> bytes(3, 0);
    TrafficFrame frame;
    frame.kind = FrameKind::kWakeUp;
    frame.bytes = bytes;
    const std::pair<LineSettings, const char*> lines[] = {
        {Line(9600, LineSettings::kNoParity, LineSettings::kTwoStopBits), "9600,N,8,2"},
        {Line(38400, LineSettings::kOddParity, LineSettings::kOne5StopBits), "38400,O,8,1.5"},
        {Line(115200, LineSettings::kMarkParity), "115200,M,8,1"},
        {Line(1200, LineSettings::kSpaceParity), "1200,S,8,1"},
    };
    for (const auto& [line, text] : lines) {
        frame.context.line = line;
        EXPECT_EQ(FormatModeString(line), text);
        EXPECT_EQ(DescribeFrame(frame), std::string("Пробуждение: 3 байт при ") + text);
    }
}

// A received frame is judged by what its exchange's check said as well as by its bytes.
TEST(FrameDecoding, FailureByTheExchangeResult) {
    const struct {
        const char* hex;
        FrameKind kind;
        uint8_t result;
        bool failed;
    } cases[] = {
        {"10 0B 01 0C 16", FrameKind::kFt12, kReceiveOk, false},
        {"10 0B 01 0C 16", FrameKind::kFt12, kReceiveUnexpected, true},
        {"10 0B 01 0C 16", FrameKind::kFt12, kReceiveRejected, true},
        {"10 0B 01 0C 16", FrameKind::kFt12, kNoFrameResult, false},
        {"10 09 01 0A 16", FrameKind::kFt12, kReceiveNoData, false},
        {"E5", FrameKind::kFt12, kReceiveSingleAck, false},
        {"01 03 04 00 0A 00 14 DA 3E", FrameKind::kModbusRtu, kModbusValid, false},
        {"01 03 04 00 0A 00 14 DA 3E", FrameKind::kModbusRtu, kModbusNoAnswer, true},
        {"01 03 04 00 0A 00 14 DA 3E", FrameKind::kModbusRtu, kNoFrameResult, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.hex) + " result " + std::to_string(c.result));
        const std::vector<uint8_t> bytes = Hex(c.hex);
        TrafficFrame frame;
        frame.kind = c.kind;
        frame.direction = kReceived;
        frame.result = c.result;
        frame.bytes = bytes;
        EXPECT_EQ(IsFailedFrame(frame), c.failed);
        // A sent frame carries no result and is judged by its bytes only.
        frame.direction = kSent;
        frame.result = kNoFrameResult;
        EXPECT_FALSE(IsFailedFrame(frame));
    }
}

TEST(FrameDecoding, AsciiFrameBytesAndHexText) {
    EXPECT_EQ(AsciiFrameBytes(Ascii(":0103\r\n")), Hex("01 03"));
    EXPECT_EQ(AsciiFrameBytes(Ascii(":0103")), Hex("01 03"));
    EXPECT_EQ(AsciiFrameBytes(Ascii(":013\r\n")), std::nullopt);  // odd number of digits
    EXPECT_EQ(AsciiFrameBytes(Ascii(";0103\r\n")), std::nullopt);
    EXPECT_EQ(AsciiFrameBytes(Ascii(":0x03\r\n")), std::nullopt);
    EXPECT_EQ(HexBytes(Hex("01 03 0A FF")), "01 03 0A FF");
    EXPECT_EQ(HexBytes(Hex("01 03 0A FF"), 2), "01 03 …");
    EXPECT_EQ(HexBytes({}), "");
}

// SPDX-License-Identifier: MIT
#include "sim/simulated_transducer.h"

#include <gtest/gtest.h>

#include "catalogue/parameter_naming.h"
#include "channel/line_mode.h"
#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "platform/virtual/virtual_line.h"

namespace {

LineSettings Mode(const char* text) {
    return ParseModeString(text, LineSettings{});
}

// The program's end of a virtual line with a simulated transducer at the other end.
struct SimFixture : ::testing::Test {
    VirtualClock clock;
    VirtualLine line{clock, "ttyV0"};
    VirtualSerialDevice port{line};
    std::unique_ptr<SimulatedTransducer> device;
    std::unique_ptr<SimulatedTransducerPeer> peer;

    void Attach(const char* key) {
        device = std::make_unique<SimulatedTransducer>(*FindProfile(key), clock);
        peer = std::make_unique<SimulatedTransducerPeer>(*device, line);
        ASSERT_TRUE(port.Open("ttyV0"));
    }
    void Write(const std::vector<uint8_t>& bytes) { port.Write(bytes.data(), bytes.size()); }
    std::vector<uint8_t> ReadAll() {
        std::vector<uint8_t> bytes(port.QueuedCount());
        bytes.resize(port.Read(bytes.data(), bytes.size()));
        return bytes;
    }
    // An RTU exchange: request, wait, check.
    std::vector<uint8_t> RtuExchange(uint8_t address, uint8_t function, uint16_t start,
                                     const std::vector<uint8_t>& data, uint32_t waitMs = 100) {
        ReadAll();
        Write(BuildRtuRequest(address, function, start, &data));
        clock.Sleep(waitMs);
        std::vector<uint8_t> answer;
        return CheckRtuAnswer(ReadAll(), answer) == kModbusValid ? answer : std::vector<uint8_t>{};
    }
    void WakeUp() {
        port.SetLine(Mode("4800,N,8,1"));
        const uint8_t zero = 0;
        Write({zero});
        clock.Sleep(75);
        Write({zero});
        clock.Sleep(200);
        Write({zero});
        port.SetLine(Mode("19200,E,8,1"));
        clock.Sleep(100);
    }
};

}  // namespace

TEST(SimProfiles, EveryCatalogueKeyHasAProfileWhoseRecordDecodesBack) {
    for (const char* key :
         {"TQ10", "TQ20", "TQ21", "TQ22", "TQ23", "TQ30", "TQ41", "TQ43", "TQ51"}) {
        const SimProfile* p = FindProfile(key);
        ASSERT_NE(p, nullptr) << key;
        EXPECT_NE(p->config.modelName.find(key), std::string::npos);
        const auto decoded = DecodeTransducerConfig(EncodeTransducerConfig(p->config), 6);
        ASSERT_TRUE(decoded.accepted()) << key;
        EXPECT_EQ(decoded.config->parameterNames, p->config.parameterNames) << key;
        EXPECT_EQ(decoded.config->linkSettingsByte, p->config.linkSettingsByte);
        EXPECT_EQ(decoded.config->wordOrder, p->config.wordOrder);
        EXPECT_LE(p->config.parameterNames.size(), TransducerConfig::kMaxParameters);
    }
    EXPECT_EQ(FindProfile("tq10"), nullptr);
}

TEST_F(SimFixture, WakesOnTheZeroBytesAndAnswersAt19200Even) {
    Attach("TQ10");  // own line 19200,N,8,1
    EXPECT_EQ(device->CurrentPhase(), SimulatedTransducer::Phase::kOwnSettings);
    WakeUp();
    EXPECT_EQ(device->CurrentPhase(), SimulatedTransducer::Phase::kConfiguration);
    EXPECT_EQ(device->CurrentSettings(), Mode("19200,E,8,1"));
    const std::vector<uint8_t> answer = ReadAll();
    EXPECT_EQ(std::string(answer.begin(), answer.end()), "TQ10-1--");
}

TEST_F(SimFixture, ZeroBytesFasterThanItListensAreNotHeard) {
    Attach("TQ10");
    port.SetLine(Mode("76800,N,8,1"));
    for (int i = 0; i < 3; ++i) {
        Write({0});
        clock.Sleep(75);
    }
    EXPECT_EQ(device->CurrentPhase(), SimulatedTransducer::Phase::kOwnSettings);
    EXPECT_EQ(device->wakeUps, 0);
}

TEST_F(SimFixture, ConfigurationRecordOnlyForTheRightAccessValue) {
    Attach("TQ21");
    WakeUp();
    ReadAll();
    EXPECT_TRUE(RtuExchange(1, kFunctionReadConfiguration, 0, {0x00, 0x00}, 1000).empty());
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    const std::vector<uint8_t> record = RtuExchange(1, kFunctionReadConfiguration, 0, access, 1000);
    const auto decoded = DecodeTransducerConfig(record, 5);
    ASSERT_TRUE(decoded.accepted()) << DescribeRejection(decoded.rejection);
    EXPECT_EQ(decoded.config->modelName, "TQ21-1");
    EXPECT_EQ(decoded.config->linkAddress, 3);
    EXPECT_EQ(decoded.config->ExchangeMode, ExchangeMode::kModbusRtu);
    EXPECT_EQ(device->configurationReads, 1);
}

TEST_F(SimFixture, ChangesOverAfterFunction127AndServesLiveRegisters) {
    Attach("TQ21");  // own line 38400,E,8,1, slave 3, codes at 0x100..0x106, clock at 0x107
    WakeUp();
    const std::vector<uint8_t> echo = RtuExchange(1, kFunctionEndConfiguration, 0, {0x00}, 500);
    EXPECT_EQ(echo, (std::vector<uint8_t>{1, 0x7F, 0}));
    clock.Sleep(1000);
    EXPECT_EQ(device->CurrentPhase(), SimulatedTransducer::Phase::kOwnSettings);

    port.SetLine(Mode("38400,E,8,1"));
    const std::vector<uint8_t> answer = RtuExchange(3, 4, 0x0100, {0x00, 0x0B});
    ASSERT_EQ(answer.size(), 3u + 22u);
    EXPECT_EQ(answer[2], 22);
    // aUam: about 230 V with nominal 5000, divisor 10: code = V * 65536 * 10 / 5000.
    const auto code = static_cast<int16_t>(answer[3] << 8 | answer[4]);
    EXPECT_NEAR(code * 5000.0 / 10 / 65536, 230, 2.5);
    // Frequency, unsigned: about 50 Hz with nominal 10000, divisor 100.
    const unsigned f = unsigned{answer[15]} << 8 | answer[16];
    EXPECT_NEAR(f * 10000.0 / 100 / 65536, 50, 0.1);
    // The clock block: month in the high byte of the third register, year last.
    const SystemTime now = device->ClockTime();
    EXPECT_EQ(answer[19], now.hour);
    EXPECT_EQ(answer[21], now.month);
    EXPECT_EQ(answer[24], now.year - 2000);

    // A register it does not have: exception 2.
    EXPECT_EQ(RtuExchange(3, 4, 0x0300, {0x00, 0x01}), (std::vector<uint8_t>{3, 0x84, 2}));
    // Another slave address: silence.
    EXPECT_TRUE(RtuExchange(4, 4, 0x0100, {0x00, 0x01}).empty());
}

TEST_F(SimFixture, AsciiSlaveAndClockWrite) {
    Attach("TQ20");  // ASCII at 9600,N,8,1, slave 2, clock at 0x106
    WakeUp();
    RtuExchange(1, kFunctionEndConfiguration, 0, {0x00}, 500);
    clock.Sleep(1000);
    port.SetLine(Mode("9600,N,8,1"));

    ReadAll();
    const std::vector<uint8_t> read = {0x00, 0x0A};
    Write(BuildAsciiRequest(2, 4, 0x0100, &read));
    clock.Sleep(200);
    std::vector<uint8_t> answer;
    ASSERT_EQ(CheckAsciiAnswer(ReadAll(), answer), kModbusValid);
    EXPECT_EQ(answer.size(), 3u + 20u);

    // 2024-03-13 (a Wednesday) 10:20:30.400
    const std::vector<uint8_t> record = {0x00, 0x04, 0x08, 0x76, 0xD0, 10, 20, 3, 0x60 | 13, 0, 24};
    Write(BuildAsciiRequest(2, 16, 0x0106, &record));
    clock.Sleep(200);
    answer.clear();
    ASSERT_EQ(CheckAsciiAnswer(ReadAll(), answer), kModbusValid);
    EXPECT_EQ(answer, (std::vector<uint8_t>{2, 16, 0x01, 0x06, 0x00, 0x04}));
    const SystemTime t = device->ClockTime();
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.day, 13);
    EXPECT_EQ(t.hour, 10);
    EXPECT_EQ(t.minute, 20);
    EXPECT_EQ(t.second, 30);  // 400 ms later it still reads 30.x s
    EXPECT_EQ(device->clockWrites, 1);
}

TEST_F(SimFixture, FloatValuesFollowTheWordOrder) {
    Attach("TQ51");  // floats from 0x200, word order 2 (low half first)
    WakeUp();
    RtuExchange(1, kFunctionEndConfiguration, 0, {0x00}, 500);
    clock.Sleep(1000);
    port.SetLine(Mode("19200,N,8,1"));
    const std::vector<uint8_t> answer = RtuExchange(9, 4, 0x0200, {0x00, 0x02});
    ASSERT_EQ(answer.size(), 7u);
    const uint32_t bits = uint32_t{answer[5]} << 24 | uint32_t{answer[6]} << 16 |
                          uint32_t{answer[3]} << 8 | answer[4];
    EXPECT_NEAR(std::bit_cast<float>(bits), 230.0f, 2.5f);
}

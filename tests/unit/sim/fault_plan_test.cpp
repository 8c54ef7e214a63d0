// SPDX-License-Identifier: MIT
#include "sim/fault_plan.h"

#include <gtest/gtest.h>

#include "channel/line_mode.h"
#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "platform/virtual/virtual_line.h"
#include "sim/simulated_transducer.h"

namespace {

LineSettings Mode(const char* text) {
    return ParseModeString(text, LineSettings{});
}

PlannedFault Parsed(const std::string& text) {
    std::string error;
    const auto fault = ParsePlannedFault(text, error);
    EXPECT_TRUE(fault) << text << ": " << error;
    return fault.value_or(PlannedFault{});
}

// A transducer changed over to its own settings, the program's port at those settings; each
// request's bytes are read with their arrival times.
struct FaultBench {
    explicit FaultBench(const char* key, std::optional<uint8_t> mode = std::nullopt) {
        SimProfile profile = *FindProfile(key);
        if (mode) {
            profile.config.ExchangeMode = ExchangeModeOf(*mode);
            RebuildProfileConfig(profile);
        }
        for (SimParameter& p : profile.parameters) {
            p.amplitude = 0;
        }
        device = std::make_unique<SimulatedTransducer>(profile, clock);
        peer = std::make_unique<SimulatedTransducerPeer>(*device, line);
        EXPECT_TRUE(port.Open("ttyV0"));
        // Wake-up, end of the configuration phase, change-over.
        port.SetLine(Mode("4800,N,8,1"));
        for (int i = 0; i < 3; ++i) {
            Write({0});
            clock.Sleep(75);
        }
        port.SetLine(Mode("19200,E,8,1"));
        clock.Sleep(100);
        const std::vector<uint8_t> zero = {0x00};
        Write(BuildRtuRequest(1, kFunctionEndConfiguration, 0, &zero));
        clock.Sleep(1500);
        ReadAll();
        port.SetLine(device->CurrentSettings());
    }
    void Write(const std::vector<uint8_t>& bytes) { port.Write(bytes.data(), bytes.size()); }
    std::vector<uint8_t> ReadAll() {
        std::vector<uint8_t> bytes(port.QueuedCount());
        bytes.resize(port.Read(bytes.data(), bytes.size()));
        return bytes;
    }
    // One read of TQ21's seven values and clock; what has arrived 100 ms later.
    std::vector<uint8_t> Poll(uint32_t waitMs = 100) {
        const std::vector<uint8_t> count = {0x00, 0x0B};
        Write(device->Profile().config.ExchangeMode == ExchangeMode::kModbusRtu
                  ? BuildRtuRequest(3, 4, 0x0100, &count)
                  : BuildAsciiRequest(3, 4, 0x0100, &count));
        clock.Sleep(waitMs);
        return ReadAll();
    }

    VirtualClock clock;
    VirtualLine line{clock, "ttyV0"};
    VirtualSerialDevice port{line};
    std::unique_ptr<SimulatedTransducer> device;
    std::unique_ptr<SimulatedTransducerPeer> peer;
};

}  // namespace

TEST(FaultPlan, ParsesKindAmountWindowAndChance) {
    const PlannedFault silence = Parsed("silence@10+3");
    EXPECT_EQ(silence.kind, SimFault::kSilence);
    EXPECT_EQ(silence.window.fromRequest, 10u);
    EXPECT_EQ(silence.window.requests, 3u);
    EXPECT_EQ(silence.window.chancePpm, 1'000'000u);

    const PlannedFault noise = Parsed("noise-before:5%2.5");
    EXPECT_EQ(noise.kind, SimFault::kNoiseBefore);
    EXPECT_EQ(noise.amount, 5u);
    EXPECT_EQ(noise.window.fromRequest, 1u);
    EXPECT_EQ(noise.window.requests, 0u);
    EXPECT_EQ(noise.window.chancePpm, 25'000u);

    const PlannedFault cause = Parsed("cause:47@4%50");
    EXPECT_EQ(cause.amount, 47u);
    EXPECT_EQ(cause.window.fromRequest, 4u);
    EXPECT_EQ(cause.window.chancePpm, 500'000u);
    for (SimFault kind : AllFaultKinds()) {
        EXPECT_EQ(Parsed(std::string(FaultName(kind))).kind, kind);
    }

    for (const char* bad :
         {"", "hum", "silence@0", "silence@3+0", "silence@x", "split:0", "split:-1", "cause:43",
          "cause:48", "late%0", "late%101", "late%x", "late%50@3", "split@3:40", "silence@1+"}) {
        std::string error;
        EXPECT_FALSE(ParsePlannedFault(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(FaultPlan, WindowsAndReproducibleChances) {
    FaultPlan plan;
    plan.Add(Parsed("silence@3+2"));
    plan.Add(Parsed("split"));
    EXPECT_EQ(plan.At(1).size(), 1u);
    ASSERT_EQ(plan.At(3).size(), 2u);
    EXPECT_EQ(plan.At(3)[0].kind, SimFault::kSilence);
    EXPECT_EQ(plan.At(3)[1].amount, 30u);  // the default gap
    EXPECT_EQ(plan.At(4).size(), 2u);
    EXPECT_EQ(plan.At(5).size(), 1u);

    // A chance: close to its share over many requests, and the same draws for the same key.
    FaultPlan a;
    a.Add(Parsed("bad-checksum%10"));
    a.SetRandomKey(7);
    FaultPlan b = a;
    int hits = 0;
    bool differs = false;
    FaultPlan other = a;
    other.SetRandomKey(8);
    for (uint32_t r = 1; r <= 20'000; ++r) {
        const bool hit = !a.At(r).empty();
        hits += hit ? 1 : 0;
        EXPECT_EQ(hit, !b.At(r).empty());
        differs = differs || hit != !other.At(r).empty();
    }
    EXPECT_NEAR(hits, 2000, 200);
    EXPECT_TRUE(differs);
}

TEST(SimulatedTransducerFaults, RtuAnswerDamagedAsPlanned) {
    FaultBench b("TQ21");  // RTU, slave 3, 38400,E,8,1
    std::vector<uint8_t> body;
    const std::vector<uint8_t> clean = b.Poll();
    ASSERT_EQ(CheckRtuAnswer(clean, body), kModbusValid);
    ASSERT_EQ(clean.size(), 27u);

    b.device->InjectFault(SimFault::kNoiseBefore, 1, 4);
    std::vector<uint8_t> answer = b.Poll();
    ASSERT_EQ(answer.size(), 31u);
    EXPECT_EQ(std::vector<uint8_t>(answer.begin() + 4, answer.end()).size(), 27u);
    EXPECT_EQ(CheckRtuAnswer(answer, body), kModbusChecksumMismatch);
    EXPECT_EQ(CheckRtuAnswer(std::span(answer).subspan(4), body), kModbusValid);

    b.device->InjectFault(SimFault::kNoiseAfter, 1, 2);
    answer = b.Poll();
    ASSERT_EQ(answer.size(), 29u);
    EXPECT_EQ(CheckRtuAnswer(std::span(answer).first(27), body), kModbusValid);
    EXPECT_EQ(CheckRtuAnswer(answer, body), kModbusChecksumMismatch);

    b.device->InjectFault(SimFault::kDropByte);
    EXPECT_EQ(b.Poll().size(), 26u);

    b.device->InjectFault(SimFault::kBadChecksum);
    answer = b.Poll();
    EXPECT_EQ(answer.size(), 27u);
    EXPECT_EQ(CheckRtuAnswer(answer, body), kModbusChecksumMismatch);

    b.device->InjectFault(SimFault::kException, 1, 4);
    answer = b.Poll();
    body.clear();
    ASSERT_EQ(CheckRtuAnswer(answer, body), kModbusValid);
    EXPECT_EQ(body, (std::vector<uint8_t>{3, 0x84, 4}));

    // Silence for three requests, then answers again.
    b.device->InjectFault(SimFault::kSilence, 3);
    EXPECT_TRUE(b.Poll().empty());
    EXPECT_TRUE(b.Poll().empty());
    EXPECT_TRUE(b.Poll().empty());
    EXPECT_EQ(b.Poll().size(), 27u);
    EXPECT_EQ(b.device->requestsHeard, 10u);
    EXPECT_EQ(b.device->faultsApplied, 8);
}

TEST(SimulatedTransducerFaults, SplitAnswerPausesHalfWay) {
    FaultBench b("TQ21");
    b.device->InjectFault(SimFault::kSplit, 1, 40);
    const std::vector<uint8_t> count = {0x00, 0x0B};
    b.Write(BuildRtuRequest(3, 4, 0x0100, &count));
    // At 38400,E,8,1 a character takes 0.29 ms: the first 13 bytes are in after 15 ms, the
    // other 14 only 40 ms after those.
    b.clock.Sleep(15);
    EXPECT_EQ(b.ReadAll().size(), 13u);
    b.clock.Sleep(30);
    EXPECT_TRUE(b.ReadAll().empty());
    b.clock.Sleep(15);
    EXPECT_EQ(b.ReadAll().size(), 14u);
}

TEST(SimulatedTransducerFaults, LateAnswerComesAfterTheNextRequest) {
    FaultBench b("TQ21");
    b.device->InjectFault(SimFault::kLate);
    EXPECT_TRUE(b.Poll(400).empty());
    // The held answer first, the answer to the second request right behind it.
    const std::vector<uint8_t> both = b.Poll();
    ASSERT_EQ(both.size(), 54u);
    std::vector<uint8_t> body;
    EXPECT_EQ(CheckRtuAnswer(std::span(both).first(27), body), kModbusValid);
    EXPECT_EQ(CheckRtuAnswer(std::span(both).subspan(27), body), kModbusValid);
    EXPECT_EQ(CheckRtuAnswer(both, body), kModbusChecksumMismatch);
    EXPECT_EQ(b.Poll().size(), 27u);
}

TEST(SimulatedTransducerFaults, RebootReturnsToTheConfigurationPhase) {
    FaultBench b("TQ21");
    b.device->InjectFault(SimFault::kReboot, 1, 1000);
    EXPECT_TRUE(b.Poll().empty());
    EXPECT_EQ(b.device->reboots, 1);
    EXPECT_EQ(b.device->CurrentPhase(), SimulatedTransducer::Phase::kConfiguration);
    EXPECT_EQ(b.device->CurrentSettings(), Mode("19200,E,8,1"));
    // Polls at its own settings go unheard; a configuration request during the start-up too.
    EXPECT_TRUE(b.Poll().empty());
    b.port.SetLine(Mode("19200,E,8,1"));
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    b.Write(BuildRtuRequest(1, kFunctionReadConfiguration, 0, &access));
    b.clock.Sleep(300);
    EXPECT_TRUE(b.ReadAll().empty());
    // Once started, it answers the configuration request.
    b.clock.Sleep(1000);
    b.Write(BuildRtuRequest(1, kFunctionReadConfiguration, 0, &access));
    b.clock.Sleep(300);
    std::vector<uint8_t> record;
    EXPECT_EQ(CheckRtuAnswer(b.ReadAll(), record), kModbusValid);
    EXPECT_EQ(b.device->configurationReads, 1);
}

TEST(SimulatedTransducerFaults, AsciiChecksumAndAnswerDelay) {
    FaultBench b("TQ21", 255);
    std::vector<uint8_t> body;
    b.device->InjectFault(SimFault::kBadChecksum);
    EXPECT_EQ(CheckAsciiAnswer(b.Poll(), body), kModbusChecksumMismatch);
    b.device->InjectFault(SimFault::kException);
    EXPECT_EQ(CheckAsciiAnswer(b.Poll(), body), kModbusExceptionBase + 6);
    body.clear();
    EXPECT_EQ(CheckAsciiAnswer(b.Poll(), body), kModbusValid);

    // A slow way back: nothing after 100 ms, the whole answer after 300.
    b.device->SetAnswerDelayUs(150'000);
    EXPECT_TRUE(b.Poll(100).empty());
    b.clock.Sleep(200);
    body.clear();
    EXPECT_EQ(CheckAsciiAnswer(b.ReadAll(), body), kModbusValid);
}

TEST(SimulatedTransducerFaults, IecStationFaultsHoldForTheirRequestsOnly) {
    FaultBench b("TQ51", 1);  // short floats, link address 9, 19200,N,8,1
    auto exchange = [&](const std::vector<uint8_t>& frame) {
        b.Write(frame);
        b.clock.Sleep(100);
        return b.ReadAll();
    };
    auto fixed = [](uint8_t control) {
        return std::vector<uint8_t>{0x10, control, 9, static_cast<uint8_t>(control + 9), 0x16};
    };
    EXPECT_EQ(exchange(fixed(0x40)), (std::vector<uint8_t>{0x10, 0x00, 9, 9, 0x16}));
    // A station interrogation (FCB 1), then class 2 requests with alternating FCB.
    const std::vector<uint8_t> interrogation = {0x68, 0x09, 0x09, 0x68, 0x73, 9,    100, 1,
                                                6,    9,    0,    0,    20,   0x04, 0x16};
    b.device->InjectFault(SimFault::kBadChecksum);
    const std::vector<uint8_t> ack = exchange(interrogation);
    EXPECT_EQ(ack, (std::vector<uint8_t>{0x10, 0x00, 9, 10, 0x16}));
    b.device->InjectFault(SimFault::kAcd);
    const std::vector<uint8_t> confirmation = exchange(fixed(0x5B));
    ASSERT_GT(confirmation.size(), 8u);
    EXPECT_EQ(confirmation[4], 0x28);
    EXPECT_EQ(b.device->Station()->faults.acdInUserData, false);  // for that request only
    b.device->InjectFault(SimFault::kE5ForData);
    EXPECT_EQ(exchange(fixed(0x7B)), std::vector<uint8_t>{0xE5});
    const std::vector<uint8_t> values = exchange(fixed(0x5B));
    ASSERT_GT(values.size(), 8u);
    EXPECT_EQ(values[4], 0x08);
    EXPECT_EQ(values[6], 13);  // short floats
}

// SPDX-License-Identifier: MIT
// The transfer-delay measurement of Polmira: its arithmetic on exact clock readings (a station
// played by the test answers the delay acquisition), the ways it fails, and the measured delay
// of a line with a known propagation delay.

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "iec101/iec101_commands.h"
#include "polling/polmira_variant.h"
#include "scenario/iec_line_peers.h"
#include "scenario/scenario_bench.h"

namespace {

constexpr const char* kNoConfirmation = "Нет подтверждения активации/деактивации опроса";

// TQ51 as an IEC-101 station (short floats), with the given field widths.
SimProfile IecProfile(uint8_t addressWidth = 1, uint8_t ioaWidth = 2, uint8_t causeWidth = 1) {
    SimProfile profile = SteadyProfile("TQ51");
    profile.config.ExchangeMode = ExchangeMode::kIec101;
    profile.config.iecAddressWidth = addressWidth;
    profile.config.iecObjectAddressWidth = ioaWidth;
    profile.config.iecCauseWidth = causeWidth;
    RebuildProfileConfig(profile);
    return profile;
}

uint32_t MsOfMinute(Clock& clock) {
    const SystemTime t = clock.LocalTime();
    return t.second * 1000u + t.milliseconds;
}

// The window is busy, no poll tick comes, until the local clock shows the millisecond of the
// minute.
void WaitUntilMsOfMinute(ScenarioBench& bench, uint32_t ms) {
    bench.clock.AdvanceUs(uint64_t{(ms + 60000 - MsOfMinute(bench.clock)) % 60000} * 1000);
}

// Polmira polling the profile's station, ready for a measurement: the first value set has come
// in and the station holds nothing more for class 2 (the interrogation has ended and is not yet
// renewed), so that the first class 2 answer after the activation is the confirmation.
struct DelayBench {
    explicit DelayBench(const SimProfile& profile) : bench(PolmiraVariant(), profile) {
        bench.Start();
        RunUntilStationIdle(bench);
    }
    static void RunUntilStationIdle(ScenarioBench& b) {
        for (int i = 0; i < 200 && b.device.Station()->QueuedAnswers() != 0; ++i) {
            b.view.RunFor(10);
        }
        ASSERT_EQ(b.device.Station()->QueuedAnswers(), 0u);
    }
    std::string Result() { return bench.view.texts[ViewText::kDelayResult]; }
    Iec101Station& Station() { return *bench.device.Station(); }

    ScenarioBench bench;
};

// The station's side of a delay acquisition, played by the test in front of the simulated
// transducer: it takes the activation (type 106, cause 6) and the class 2 request after it, and
// leaves everything else to the simulated station. The activation is answered with `ack`; when
// that is the acknowledgement frame, the class 2 request that follows is answered with the
// confirmation carrying the returned time (otherwise the simulated station gets it).
//
// The master reads the port, yields, reads its clock, yields, and so on; with a yield of 500 us
// it reads the port at whole milliseconds after the request's end and its clock half a
// millisecond later. A confirmation whose first byte arrives at such a read is stamped with the
// clock reading that follows.
class DelayStationScript {
  public:
    static constexpr uint64_t kYieldUs = 500;

    DelayStationScript(ScenarioBench& bench, const LinkConfig& config, uint16_t linkAddress)
        : bench_(bench),
          config_(config),
          linkAddress_(linkAddress),
          farEnd_(bench.line),
          divert_(bench, farEnd_, [this](const std::vector<uint8_t>& w) { return Takes(w); }) {
        bench_.clock.SetYieldStepUs(kYieldUs);
        ack = BuildFixedFrame(0x00, linkAddress, config);
        farEnd_.onFrame = [this](const ScriptedFarEnd::Frame& f) { Answer(f); };
    }

    // What answers the activation: the acknowledgement frame unless changed; empty: silence.
    std::vector<uint8_t> ack;
    // When the confirmation's first byte arrives: at the read after which the master's clock
    // shows arrivalMs (milliseconds of the minute), or afterMs after the class 2 request ended.
    std::optional<uint32_t> arrivalMs;
    uint32_t afterMs = 10;
    // The returned time, from the clock reading the master will stamp the arrival with.
    std::function<uint16_t(uint32_t arrivalReading)> returned = [](uint32_t) {
        return uint16_t{1000};
    };

    // What happened.
    std::optional<uint16_t> sendTime;  // carried by the activation
    std::vector<uint8_t> confirmation;
    uint32_t arrivalReading = 0;
    bool windowMissed = false;  // arrivalMs lay outside the master's 500 ms

  private:
    size_t AddressBytes() const { return config_.addressWidth == 1 ? 1 : 2; }
    bool IsActivation(const std::vector<uint8_t>& w) const {
        const size_t type = 5 + AddressBytes();
        return w.size() > type + 2 && w[0] == 0x68 && w[type] == kTypeDelayAcquisition &&
               w[type + 2] == 6;
    }
    bool Takes(const std::vector<uint8_t>& w) {
        if (IsActivation(w) && !activationTaken_) {
            activationTaken_ = true;
            return true;
        }
        const bool class2 = w.size() >= 5 && w[0] == 0x10 && (w[1] & 0x0F) == 11;
        if (class2 && acknowledged_ && !class2Taken_) {
            class2Taken_ = true;
            return true;
        }
        return false;
    }
    void Answer(const ScriptedFarEnd::Frame& f) {
        const uint64_t charUs = CharTimeMicroseconds(f.settings);
        if (f.bytes[0] == 0x68) {
            const size_t n = f.bytes.size();
            sendTime = static_cast<uint16_t>(f.bytes[n - 4] | f.bytes[n - 3] << 8);
            acknowledged_ = ack == BuildFixedFrame(0x00, linkAddress_, config_);
            if (!ack.empty()) {
                farEnd_.Send(ack, f.settings, f.endUs + 2000);
            }
            return;
        }
        // The class 2 request has just ended: the master waits for its transmitter, takes its
        // start time and begins to read.
        const uint64_t t0 = f.endUs;
        EXPECT_EQ(bench_.clock.NowUs(), t0);
        const uint32_t msAtT0 = MsOfMinute(bench_.clock);
        const uint32_t carry = t0 % 1000 + kYieldUs >= 1000 ? 1 : 0;
        uint32_t firstByteMs = afterMs;
        if (arrivalMs) {
            firstByteMs = (*arrivalMs + 120000 - msAtT0 - carry) % 60000;
            windowMissed = firstByteMs < 1 || firstByteMs > 450;
        }
        arrivalReading = (msAtT0 + carry + firstByteMs) % 60000;
        const uint16_t r = returned(arrivalReading);
        confirmation = BuildVariableFrame(
            0x08, linkAddress_, config_,
            BuildCommandAsdu(kTypeDelayAcquisition, 7, linkAddress_, 0, config_,
                             {static_cast<uint8_t>(r & 0xFF), static_cast<uint8_t>(r >> 8)}));
        farEnd_.Send(confirmation, f.settings, t0 + uint64_t{firstByteMs} * 1000 - charUs);
    }

    ScenarioBench& bench_;
    LinkConfig config_;
    uint16_t linkAddress_;
    ScriptedFarEnd farEnd_;
    DivertingPeer divert_;
    bool activationTaken_ = false;
    bool acknowledged_ = false;
    bool class2Taken_ = false;
};

LinkConfig ConfigOf(const SimProfile& profile) {
    const TransducerConfig& c = profile.config;
    return LinkConfig::FromWidths({c.iecAddressWidth, c.iecObjectAddressWidth, c.iecCauseWidth}, 0,
                                  6);
}

// The delay acquisition frames with the cause the program wrote (one-byte address): 6 the
// activations, 3 the transfers of the delay.
int CountDelayFrames(const VirtualLine& line, uint8_t cause) {
    int n = 0;
    for (const auto& w : line.Writes()) {
        n += w.bytes.size() > 8 && w.bytes[0] == 0x68 && w.bytes[6] == kTypeDelayAcquisition &&
             w.bytes[8] == cause;
    }
    return n;
}

// The class 2 requests the program wrote after its first delay acquisition activation, up to
// its next write that is not IEC-101 (the configuration read of a restart).
int Class2AfterActivation(const VirtualLine& line) {
    const auto& writes = line.Writes();
    size_t i = 0;
    while (i < writes.size() && !(writes[i].bytes.size() > 8 && writes[i].bytes[0] == 0x68 &&
                                  writes[i].bytes[6] == kTypeDelayAcquisition)) {
        ++i;
    }
    EXPECT_LT(i, writes.size()) << "no activation";
    int class2 = 0;
    for (++i; i < writes.size() && IsIecFrame(writes[i].bytes); ++i) {
        class2 += writes[i].bytes[0] == 0x10 && (writes[i].bytes[1] & 0x0F) == 11;
    }
    return class2;
}

}  // namespace

TEST(DelayArithmetic, AcrossTheMinuteReturned59990Arrival30Gives20) {
    const SimProfile profile = IecProfile();
    DelayBench d(profile);
    DelayStationScript script(d.bench, ConfigOf(profile), 9);
    script.arrivalMs = 30;
    script.returned = [](uint32_t) { return uint16_t{59990}; };
    // About 1.2 s go by before the master listens for the confirmation.
    WaitUntilMsOfMinute(d.bench, 60000 - 1420);
    d.bench.view.messages.clear();
    d.bench.controller.OnMeasureDelay();

    ASSERT_FALSE(script.windowMissed);
    EXPECT_EQ(script.arrivalReading, 30u);
    ASSERT_TRUE(script.sendTime.has_value());
    EXPECT_GT(*script.sendTime, 58000);          // taken in the minute before
    EXPECT_EQ(script.confirmation.size(), 16u);  // 11 + 2 + 1 + 2
    EXPECT_TRUE(d.bench.view.messages.empty());
    EXPECT_EQ(d.Result(), "20 ms");
    // The delay goes on to the station, and polling starts again.
    EXPECT_EQ(d.Station().TransferDelayMs(), 20);
    EXPECT_TRUE(d.bench.view.timerArmed);
}

TEST(DelayArithmetic, WideFieldsReturned1000Arrival1031Gives15) {
    // Two-byte address and cause, three-byte IOA: the confirmation is 11 + 4 + 2 + 3 = 20 bytes
    // with the returned time at offset 16.
    const SimProfile profile = IecProfile(2, 3, 2);
    DelayBench d(profile);
    DelayStationScript script(d.bench, ConfigOf(profile), 9);
    script.arrivalMs = 1031;
    script.returned = [](uint32_t) { return uint16_t{1000}; };
    WaitUntilMsOfMinute(d.bench, 1031 + 60000 - 1450);
    d.bench.view.messages.clear();
    d.bench.controller.OnMeasureDelay();

    ASSERT_FALSE(script.windowMissed);
    ASSERT_EQ(script.confirmation.size(), 20u);
    EXPECT_EQ(script.confirmation[16] | script.confirmation[17] << 8, 1000);
    EXPECT_TRUE(d.bench.view.messages.empty());
    EXPECT_EQ(d.Result(), "15 ms");
    EXPECT_EQ(d.Station().TransferDelayMs(), 15);
}

TEST(DelayArithmetic, AConfirmationIsAwaited500Milliseconds) {
    const SimProfile profile = IecProfile();
    {
        // Complete about 490 ms after the request: still taken.
        DelayBench d(profile);
        DelayStationScript script(d.bench, ConfigOf(profile), 9);
        script.afterMs = 480;
        script.returned = [](uint32_t arrival) {
            return static_cast<uint16_t>((arrival + 60000 - 2 * 7) % 60000);
        };
        d.bench.controller.OnMeasureDelay();
        EXPECT_EQ(d.Result(), "7 ms");
    }
    // Complete about 504 ms after the request: lost. One more class 2 request is answered by the
    // station, the message follows and polling starts again without a delay passed on.
    DelayBench d(profile);
    DelayStationScript script(d.bench, ConfigOf(profile), 9);
    script.afterMs = 495;
    d.bench.view.messages.clear();
    d.bench.controller.OnMeasureDelay();
    EXPECT_EQ(d.Result(), "0, ms");
    ASSERT_EQ(d.bench.view.messages.size(), 1u);
    EXPECT_EQ(d.bench.view.messages[0].text, kNoConfirmation);
    EXPECT_EQ(d.bench.view.messages[0].caption, "Ошибка");
    EXPECT_EQ(Class2AfterActivation(d.bench.line), 2);
    EXPECT_EQ(CountDelayFrames(d.bench.line, 3), 0);
    EXPECT_EQ(d.Station().TransferDelayMs(), 0);
    EXPECT_TRUE(d.bench.view.timerArmed);
    EXPECT_EQ(d.bench.device.configurationReads, 2);  // Stop came in between
}

TEST(DelayArithmetic, AReturnedTimeOfZeroIsAFailure) {
    const SimProfile profile = IecProfile();
    DelayBench d(profile);
    DelayStationScript script(d.bench, ConfigOf(profile), 9);
    script.returned = [](uint32_t) { return uint16_t{0}; };
    d.bench.view.messages.clear();
    d.bench.controller.OnMeasureDelay();
    EXPECT_FALSE(script.confirmation.empty());
    EXPECT_EQ(d.Result(), "0, ms");
    ASSERT_EQ(d.bench.view.messages.size(), 1u);
    EXPECT_EQ(d.bench.view.messages[0].text, kNoConfirmation);
    EXPECT_EQ(CountDelayFrames(d.bench.line, 3), 0);
}

TEST(DelayArithmetic, AReturnedTimeBeyondTheMinuteIsAFailure) {
    // Neither is a millisecond of a minute. Taken as one, 60000 gave half the arrival time as
    // the delay and 65535 a wrapped 16-bit number, and either was passed on to the station.
    for (const uint16_t returned : {uint16_t{60000}, uint16_t{65535}}) {
        SCOPED_TRACE(returned);
        const SimProfile profile = IecProfile();
        DelayBench d(profile);
        DelayStationScript script(d.bench, ConfigOf(profile), 9);
        script.returned = [returned](uint32_t) { return returned; };
        d.bench.view.messages.clear();
        d.bench.controller.OnMeasureDelay();
        EXPECT_FALSE(script.confirmation.empty());
        EXPECT_EQ(d.Result(), "0, ms");
        ASSERT_EQ(d.bench.view.messages.size(), 1u);
        EXPECT_EQ(d.bench.view.messages[0].text, kNoConfirmation);
        EXPECT_EQ(CountDelayFrames(d.bench.line, 3), 0);
        EXPECT_EQ(d.Station().TransferDelayMs(), 0);
    }
}

TEST(DelayArithmetic, AnActivationNotAcknowledgedByAFixedFrameIsAFailure) {
    const SimProfile profile = IecProfile();
    struct Case {
        const char* name;
        std::vector<uint8_t> ack;
    };
    const std::vector<Case> cases = {
        {"silence", {}},
        {"negative acknowledge", {0x10, 0x01, 0x09, 0x0A, 0x16}},
        {"acknowledge and a stray byte", {0x10, 0x00, 0x09, 0x09, 0x16, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DelayBench d(profile);
        DelayStationScript script(d.bench, ConfigOf(profile), 9);
        script.ack = c.ack;
        d.bench.view.messages.clear();
        d.bench.controller.OnMeasureDelay();
        EXPECT_EQ(d.Result(), "0, ms");
        // No class 2 request for a confirmation: only the one that fetches the result for the
        // message.
        EXPECT_EQ(Class2AfterActivation(d.bench.line), 1);
        ASSERT_EQ(d.bench.view.messages.size(), 1u);
        EXPECT_EQ(d.bench.view.messages[0].text, kNoConfirmation);
        EXPECT_TRUE(d.bench.view.timerArmed);
    }
}

TEST(DelayMeasurementOnTheStation, AnE5AcknowledgementIsAFailure) {
    DelayBench d(IecProfile());
    d.Station().faults.acknowledgeWithE5 = true;
    d.bench.line.ClearWrites();
    d.bench.view.messages.clear();
    d.bench.controller.OnMeasureDelay();
    EXPECT_EQ(d.Result(), "0, ms");
    ASSERT_EQ(d.bench.view.messages.size(), 1u);
    EXPECT_EQ(d.bench.view.messages[0].text, kNoConfirmation);
    // The activation went out and got its E5; the only class 2 request before Stop is the one
    // that fetches the result for the message.
    EXPECT_EQ(Class2AfterActivation(d.bench.line), 1);
    EXPECT_EQ(d.Station().TransferDelayMs(), 0);
    EXPECT_TRUE(d.bench.view.timerArmed);
}

TEST(DelayMeasurementOnTheStation, WideFieldsAreMeasuredAndPassedOn) {
    DelayBench d(IecProfile(2, 3, 2));
    d.bench.controller.OnMeasureDelay();
    EXPECT_TRUE(d.bench.view.messages.empty()) << d.bench.view.messages[0].text;
    const std::string text = d.Result();
    ASSERT_NE(text, "0, ms");
    EXPECT_EQ(d.Station().TransferDelayMs(), std::stoi(text));
}

TEST(DelayMeasurementOnTheStation, TheMeasuredDelayFollowsTheLineDelay) {
    // What the line adds to the measured delay is its own propagation delay: the frames'
    // transmission and the station's turnaround stay the same.
    for (const auto& [address, ioa, cause] : {std::tuple{1, 2, 1}, std::tuple{2, 3, 2}}) {
        const SimProfile profile = IecProfile(
            static_cast<uint8_t>(address), static_cast<uint8_t>(ioa), static_cast<uint8_t>(cause));
        std::optional<int> baseline;
        for (const uint32_t lineDelayMs : {0u, 5u, 20u, 45u, 65u}) {
            SCOPED_TRACE(testing::Message() << "widths " << address << ioa << cause << ", line "
                                            << lineDelayMs << " ms");
            ScenarioBench bench(PolmiraVariant(), profile);
            bench.line.SetPropagationDelayUs(uint64_t{lineDelayMs} * 1000);
            bench.Start();
            DelayBench::RunUntilStationIdle(bench);
            ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
            bench.controller.OnMeasureDelay();
            ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
            const std::string text = bench.view.texts[ViewText::kDelayResult];
            ASSERT_NE(text, "0, ms");
            const int measured = std::stoi(text);
            EXPECT_EQ(bench.device.Station()->TransferDelayMs(), measured);
            if (!baseline) {
                baseline = measured;
                EXPECT_GT(measured, 0);
                EXPECT_LT(measured, 15);  // the frames and the turnaround alone
                continue;
            }
            EXPECT_NEAR(measured - *baseline, static_cast<int>(lineDelayMs), 2);
            EXPECT_TRUE(bench.view.timerArmed);
        }
    }
}

TEST(DelayMeasurementOnTheStation, ALineSlowerThanTheStatusWaitFailsTheStartUp) {
    // The status of link is read 150 ms after the request: a one-way delay of 75 ms leaves the
    // answer on its way.
    ScenarioBench bench(PolmiraVariant(), IecProfile());
    bench.line.SetPropagationDelayUs(75'000);
    bench.Start();
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Ошибка при инициализации канала");
    EXPECT_FALSE(bench.view.timerArmed);
    EXPECT_EQ(bench.device.Station()->counters.statusRequests, 1);
}

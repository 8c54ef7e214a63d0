// SPDX-License-Identifier: MIT
// The master against the simulated controlled station on a virtual line, in virtual time.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>

#include "iec101/iec101_commands.h"
#include "iec101_test_support.h"
#include "platform/calendar.h"
#include "sim/iec101_station.h"

namespace {

Iec101StationConfig FourFloats() {
    Iec101StationConfig c;
    c.valueType = 13;
    c.objects = {{0x0100, 1.5f, 0x0101, 0},
                 {0x0102, 2.5f, 0x0202, 1},
                 {0x0104, 3.5f, 0x0303, 2},
                 {0x0106, 4.5f, 0x0404, 1}};
    c.maxObjectsPerAsdu = 2;
    return c;
}

std::vector<uint8_t> FloatBytes(float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
            static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
}

struct Exchange {
    explicit Exchange(Iec101StationConfig config = FourFloats(), uint8_t interrogationGroup = 0)
        : station(config, bench.clock), peer(station, bench.line, LineSettings{}) {
        bench.line.AttachPeer(&peer);
        widths = {config.addressWidth, config.ioaWidth, config.causeWidth};
        group = interrogationGroup;
        // Prepared as Start prepares the master: every parameter expected, except those of
        // other groups when a group is interrogated.
        std::vector<IecParameter> params;
        for (const auto& o : config.objects) {
            params.push_back({"p", o.ioa});
        }
        Iec101Master& m = bench.master;
        m.SetParameters(params);
        m.SetWidths(widths);
        std::vector<uint8_t> received(params.size(), 0);
        std::vector<uint8_t> expected(params.size(), 0xFF);
        for (size_t i = 0; i < config.objects.size(); ++i) {
            const uint8_t g = config.objects[i].group;
            if (interrogationGroup != 0 && g != 0 && g != interrogationGroup) {
                received[i] = 0xFF;
                expected[i] = 0;
            }
        }
        m.PrepareValueSet(std::move(received), std::move(expected), 4 * params.size());
        m.RestartExpectedSet();
    }

    LinkConfig Config(uint8_t cause = 6) const {
        return LinkConfig::FromWidths(widths, group, cause);
    }
    uint8_t Receive() {
        answer.clear();
        return bench.master.ReceiveFrame(answer, LinkConfig::FromWidths(widths, 0));
    }
    bool StartUp() {
        return bench.master.RequestLinkStatus(1, Config()) &&
               bench.master.ResetRemoteLink(1, Config());
    }
    // Interrogation, 100 ms, receive: the result of the confirmation step.
    uint8_t Interrogate(uint8_t cause = 6) {
        bench.master.SendAsduCommand(1, kTypeInterrogation, 0x0100, Config(cause));
        bench.clock.Sleep(100);
        return Receive();
    }
    Iec101Results& results() { return bench.results; }

    MasterBench bench;
    Iec101Station station;
    Iec101StationPeer peer;
    IecWidths widths;
    uint8_t group = 0;
    std::vector<uint8_t> answer;
};

}  // namespace

TEST(StationExchange, StartUpInterrogationAndADozenClass2Polls) {
    Exchange x;
    ASSERT_TRUE(x.StartUp());
    ASSERT_EQ(x.Interrogate(), kReceiveOk);
    x.bench.master.RequestClass2Data(1, x.Config());

    std::vector<uint8_t> expected{0, 0};
    for (float v : {1.5f, 2.5f, 3.5f, 4.5f}) {
        const auto b = FloatBytes(v);
        expected.insert(expected.end(), b.begin(), b.end());
    }
    int sets = 0;
    int terminations = 0;
    for (int poll = 0; poll < 12; ++poll) {
        x.bench.clock.Sleep(100);  // the poll period
        EXPECT_EQ(x.Receive(), kReceiveOk) << "poll " << poll;
        if (x.results().setComplete) {
            x.results().setComplete = false;
            ++sets;
            EXPECT_EQ(x.answer, expected);
        } else {
            EXPECT_TRUE(x.answer.empty());
        }
        if (x.results().lastCause == 10) {
            ++terminations;
            ASSERT_EQ(x.Interrogate(), kReceiveOk);
        }
        x.bench.master.RequestClass2Data(1, x.Config());
    }
    // Confirmation, two value ASDUs, termination: three whole cycles.
    EXPECT_EQ(sets, 3);
    EXPECT_EQ(terminations, 3);
    EXPECT_EQ(x.station.counters.interrogations, 4);
    EXPECT_EQ(x.station.counters.repetitions, 0);
    EXPECT_EQ(x.station.counters.ignoredFrames, 0);
    EXPECT_EQ(x.results().valueType, 13);
}

TEST(StationExchange, GroupInterrogationCompletesWithoutOtherGroups) {
    Exchange x(FourFloats(), 1);
    ASSERT_TRUE(x.StartUp());
    ASSERT_EQ(x.Interrogate(), kReceiveOk);
    bool complete = false;
    for (int poll = 0; poll < 4 && !complete; ++poll) {
        x.bench.master.RequestClass2Data(1, x.Config());
        x.bench.clock.Sleep(100);
        EXPECT_EQ(x.Receive(), kReceiveOk);
        complete = x.results().setComplete;
    }
    ASSERT_TRUE(complete);
    ASSERT_EQ(x.answer.size(), 18u);
    EXPECT_EQ(std::vector<uint8_t>(x.answer.begin() + 6, x.answer.begin() + 10), FloatBytes(2.5f));
    EXPECT_EQ(std::vector<uint8_t>(x.answer.begin() + 10, x.answer.begin() + 14),
              std::vector<uint8_t>(4, 0));  // group 2 not sent
    EXPECT_EQ(x.results().lastCause, 21);
}

TEST(StationExchange, TimeTagsCarryTheStationClock) {
    for (const uint8_t type : std::vector<uint8_t>{9, 10, 14, 34, 36, 143, 145}) {
        Iec101StationConfig config = FourFloats();
        config.valueType = type;
        config.maxObjectsPerAsdu = 0;
        if (type == 143) {
            for (size_t i = 0; i < config.objects.size(); ++i) {
                config.objects[i].ioa = 0x0100 + static_cast<uint32_t>(i);
            }
        }
        Exchange x(config);
        ASSERT_TRUE(x.StartUp());
        ASSERT_EQ(x.Interrogate(), kReceiveOk);
        x.bench.master.RequestClass2Data(1, x.Config());
        x.bench.clock.Sleep(100);
        ASSERT_EQ(x.Receive(), kReceiveOk);  // confirmation
        x.bench.master.RequestClass2Data(1, x.Config());
        x.bench.clock.Sleep(100);
        ASSERT_EQ(x.Receive(), kReceiveOk) << int{type};
        ASSERT_TRUE(x.results().setComplete) << int{type};
        EXPECT_EQ(x.results().valueType, type);
        const AsduTime& t = x.results().asduTime;
        const SystemTime now = x.station.ClockTime();  // 2024-03-13 12:00:00 plus under a second
        const bool cp56 = type == 34 || type == 36 || type == 143 || type == 145;
        const bool cp24 = type == 10 || type == 14;
        if (cp56 || cp24) {
            // Encoded when the class 2 request came, a receive step before now.
            const int nowMs = now.second * 1000 + now.milliseconds;
            EXPECT_LE(t.milliseconds, nowMs) << int{type};
            EXPECT_GE(t.milliseconds, nowMs - 200) << int{type};
            EXPECT_EQ(t.hourMinute, cp56 ? 0x0C00 : 0x0000) << int{type};
            EXPECT_EQ(t.monthDay, cp56 ? 0x036D : 0) << int{type};
            EXPECT_EQ(t.year, cp56 ? 24 : 0) << int{type};
        } else {
            EXPECT_EQ(t, AsduTime{});
        }
        const bool isFloat = type == 14 || type == 36 || type == 145;
        const std::vector<uint8_t> first(x.answer.begin() + 2,
                                         x.answer.begin() + (isFloat ? 6 : 4));
        EXPECT_EQ(first, isFloat ? FloatBytes(1.5f) : Hex("01 01")) << int{type};
    }
}

TEST(StationExchange, ClockSynchronisationSetsTheStationToLocalTime) {
    Exchange x;
    ASSERT_TRUE(x.StartUp());
    x.bench.clock.Sleep(300);
    x.bench.master.SendClockSync(1, x.Config(), true);
    x.bench.clock.Sleep(350);
    EXPECT_EQ(x.Receive(), kReceiveOk);
    x.bench.master.RequestClass2Data(1, x.Config());
    x.bench.clock.Sleep(350);
    EXPECT_EQ(x.Receive(), kReceiveOk);
    EXPECT_EQ(x.results().lastType, kTypeClockSync);
    EXPECT_EQ(x.results().lastCause, 7);
    // The station now runs on the master's local time, the line's transfer time behind it.
    const int64_t diff =
        UnixMsFromCalendar(x.bench.clock.LocalTime()) - UnixMsFromCalendar(x.station.ClockTime());
    EXPECT_GE(diff, 0);
    EXPECT_LE(diff, 30);
}

TEST(StationExchange, DelayAcquisition) {
    Exchange x;
    ASSERT_TRUE(x.StartUp());
    Clock& clock = x.bench.clock;
    const auto msOfMinute = [&clock] {
        const SystemTime t = clock.LocalTime();
        return static_cast<uint16_t>(t.second * 1000 + t.milliseconds);
    };
    const uint16_t sendTime = msOfMinute();
    x.bench.master.WriteFrame(x.bench.master.BuildDelayActivation(1, x.Config(), sendTime));
    clock.Sleep(350);
    uint8_t buffer[32] = {};
    ASSERT_EQ(x.bench.channel.ReadAvailable(buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5), Hex("10 00 01 01 16"));
    x.bench.master.RequestClass2Data(1, x.Config());
    x.bench.channel.WaitTransmitEmpty(150);
    const size_t expectedLength = 11 + 2 * 1 + 1 + 2;
    size_t got = 0;
    int arrival = -1;
    const uint32_t t0 = clock.TickCount();
    while (got < expectedLength && clock.TickCount() - t0 <= 500) {
        got += x.bench.channel.ReadAvailable(buffer + got, sizeof buffer - got);
        clock.Yield();
        if (got > 0 && arrival < 0) {
            arrival = msOfMinute();
        }
    }
    ASSERT_EQ(got, expectedLength);
    EXPECT_EQ(buffer[6], kTypeDelayAcquisition);
    EXPECT_EQ(buffer[8], 7);
    const int returned = buffer[12] | (buffer[13] << 8);
    // The send time plus the time the activation was held in the station: from its arrival
    // (16.7 ms after sending) to the class 2 request 350 ms after sending.
    const int held = (returned - sendTime + 60000) % 60000;
    EXPECT_GE(held, 330);
    EXPECT_LE(held, 345);
    const int delay = ((arrival < returned ? arrival + 60000 : arrival) - returned) / 2;
    // A 16-byte frame takes 16.7 ms at 9600 baud.
    EXPECT_GE(delay, 10);
    EXPECT_LE(delay, 25);
    x.bench.master.WriteFrame(
        x.bench.master.BuildDelayTransfer(1, x.Config(), static_cast<uint16_t>(delay)));
    clock.Sleep(350);
    EXPECT_EQ(x.station.TransferDelayMs(), delay);
    EXPECT_EQ(x.station.counters.repetitions, 0);
}

TEST(StationExchange, ReadCommandDeliversTheChosenParameter) {
    Exchange x;
    Iec101Master& m = x.bench.master;
    m.PrepareValueSet(m.ReceivedFlags(), Hex("00 00 FF 00"), m.ValueTable().size());
    m.RestartExpectedSet();
    ASSERT_TRUE(x.StartUp());
    x.bench.master.SendAsduCommand(1, kTypeRead, 0x0104, x.Config(5));
    x.bench.clock.Sleep(100);
    ASSERT_EQ(x.Receive(), kReceiveOk);
    ASSERT_TRUE(x.results().setComplete);
    EXPECT_EQ(x.results().lastCause, 5);
    EXPECT_EQ(std::vector<uint8_t>(x.answer.begin() + 10, x.answer.begin() + 14), FloatBytes(3.5f));
    x.bench.master.SendAsduCommand(1, kTypeRead, 0x0999, x.Config(5));
    x.bench.clock.Sleep(100);
    EXPECT_EQ(x.Receive(), 47);
}

TEST(StationExchange, DeactivationIsConfirmed) {
    Exchange x;
    ASSERT_TRUE(x.StartUp());
    ASSERT_EQ(x.Interrogate(8), kReceiveOk);
    x.bench.master.RequestClass2Data(1, x.Config());
    x.bench.clock.Sleep(100);
    EXPECT_EQ(x.Receive(), kReceiveOk);
    EXPECT_EQ(x.results().lastCause, 9);
    x.bench.master.RequestClass2Data(1, x.Config());
    x.bench.clock.Sleep(100);
    EXPECT_EQ(x.Receive(), kReceiveNoData);
}

TEST(StationExchange, FaultsAsTheMasterSeesThem) {
    {
        Exchange x;
        x.station.faults.negativeConfirmation = true;
        ASSERT_TRUE(x.StartUp());
        ASSERT_EQ(x.Interrogate(), kReceiveOk);
        x.bench.master.RequestClass2Data(1, x.Config());
        x.bench.clock.Sleep(100);
        EXPECT_EQ(x.Receive(), kReceiveRejected);
    }
    {
        Exchange x;
        x.station.faults.acdInAnswers = true;
        ASSERT_TRUE(x.StartUp());
        ASSERT_EQ(x.Interrogate(), kReceiveOk);
        x.bench.master.RequestClass2Data(1, x.Config());
        x.bench.clock.Sleep(100);
        EXPECT_EQ(x.Receive(), kReceiveUnexpected);
    }
    {
        Exchange x;
        x.station.faults.statusWithE5 = true;
        x.station.faults.acknowledgeWithE5 = true;
        ASSERT_TRUE(x.StartUp());
        EXPECT_EQ(x.Interrogate(), kReceiveSingleAck);
        x.station.faults.e5InsteadOfData = true;
        x.bench.master.RequestClass2Data(1, x.Config());
        x.bench.clock.Sleep(100);
        EXPECT_EQ(x.Receive(), kReceiveSingleAck);
    }
    {
        Exchange x;
        x.station.faults.silent = true;
        EXPECT_FALSE(x.bench.master.RequestLinkStatus(1, x.Config()));
        EXPECT_FALSE(x.bench.master.ResetRemoteLink(1, x.Config()));
        EXPECT_EQ(x.Interrogate(), kReceiveNothing);
    }
}

TEST(StationExchange, TwoByteWidthsEndToEnd) {
    Iec101StationConfig config = FourFloats();
    config.linkAddress = 0x0102;
    config.addressWidth = 2;
    config.causeWidth = 2;
    config.ioaWidth = 3;
    Exchange x(config);
    ASSERT_TRUE(x.bench.master.RequestLinkStatus(0x0102, x.Config()));
    ASSERT_TRUE(x.bench.master.ResetRemoteLink(0x0102, x.Config()));
    x.bench.master.SendAsduCommand(0x0102, kTypeInterrogation, 0, x.Config());
    int sets = 0;
    for (int poll = 0; poll < 5; ++poll) {  // acknowledge, confirmation, 2 x values, end
        x.bench.clock.Sleep(100);
        EXPECT_EQ(x.Receive(), kReceiveOk);
        sets += x.results().setComplete ? 1 : 0;
        x.results().setComplete = false;
        x.bench.master.RequestClass2Data(0x0102, x.Config());
    }
    EXPECT_EQ(sets, 1);
    EXPECT_EQ(x.station.counters.ignoredFrames, 0);
}

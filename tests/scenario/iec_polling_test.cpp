// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"

namespace {}  // namespace

TEST(IecPolling, GroupInterrogationStartsTheLinkAndShowsTheValues) {
    for (const ProgramVariant* variant : {&PolmiraVariant(), &CalvenaVariant()}) {
        SCOPED_TRACE(variant->programName);
        ScenarioBench bench(*variant, SteadyIecProfile());
        bench.Start();
        ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
        EXPECT_TRUE(bench.view.timerArmed);
        EXPECT_EQ(bench.view.timerPeriodMs, 500u);  // Start re-arms at the poll period
        Iec101Station& station = *bench.device.Station();
        EXPECT_EQ(station.counters.statusRequests, 1);
        EXPECT_EQ(station.counters.resets, 1);
        EXPECT_EQ(station.counters.interrogations, 1);

        bench.RunTicks(12);
        EXPECT_EQ(station.counters.repetitions, 0);  // the FCB alternated on every frame
        EXPECT_GT(station.counters.class2Requests, 3);
        // Ua of 230 V as a short float: five significant digits, and its unit.
        const int slot = variant == &PolmiraVariant() ? 0 : 3;
        EXPECT_EQ(bench.view.values[slot], "230.00");
        EXPECT_EQ(bench.view.captions[slot], "Ua, V");
        if (variant == &PolmiraVariant()) {
            EXPECT_EQ(bench.view.texts[ViewText::kAsduField], "13");
        }
        // After the activation termination the interrogation is renewed at 100 ms.
        EXPECT_GT(station.counters.interrogations, 1);
        EXPECT_EQ(bench.view.timerPeriodMs, 100u);
    }
}

TEST(IecPolling, SilentStationFailsTheLinkStartUp) {
    ScenarioBench bench(PolmiraVariant(), SteadyIecProfile());
    bench.device.Station()->faults.silent = true;
    bench.Start();
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Ошибка при инициализации канала");
    EXPECT_FALSE(bench.view.timerArmed);
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
}

TEST(IecPolling, ModeTwoExchangesNothingPerTick) {
    SimProfile profile = SteadyIecProfile();
    profile.config.ExchangeMode = ExchangeMode::kIec101Prepared;
    RebuildProfileConfig(profile);
    ScenarioBench bench(PolmiraVariant(), profile);
    bench.Start();
    const size_t writes = bench.line.Writes().size();
    bench.RunTicks(4);
    EXPECT_EQ(bench.line.Writes().size(), writes);
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine].find("ошибка"), std::string::npos);
    EXPECT_TRUE(bench.view.enabled[ViewControl::kDelayButton]);
}

TEST(IecPolling, ReadCommandWithACancelledParameterChoiceStops) {
    ScenarioBench bench(PolmiraVariant(), SteadyIecProfile());
    bench.view.pollKind = 1;  // "Чтение (102)"; the stand-in window cancels the dialog
    bench.Start();
    EXPECT_FALSE(bench.view.timerArmed);
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
}

TEST(DelayMeasurement, MeasuresTheLineAndPassesTheDelayOn) {
    ScenarioBench bench(PolmiraVariant(), SteadyIecProfile());
    bench.Start();
    bench.RunTicks(2);
    bench.controller.OnMeasureDelay();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
    const std::string text = bench.view.texts[ViewText::kDelayResult];
    ASSERT_NE(text, "0, ms");
    // At 19200 baud the frames themselves take a few milliseconds each way.
    const int delay = std::stoi(text);
    EXPECT_GT(delay, 0);
    EXPECT_LT(delay, 40);
    EXPECT_EQ(text, std::to_string(delay) + " ms");
    EXPECT_EQ(bench.device.Station()->TransferDelayMs(), delay);
    EXPECT_TRUE(bench.view.timerArmed);  // polling restarted
}

TEST(DelayMeasurement, ModbusTransducerOnlyResetsTheText) {
    ScenarioBench bench(PolmiraVariant(), SteadyProfile("TQ21"));
    bench.Start();
    const size_t writes = bench.line.Writes().size();
    bench.controller.OnMeasureDelay();
    EXPECT_EQ(bench.view.texts[ViewText::kDelayResult], "0, ms");
    EXPECT_EQ(bench.line.Writes().size(), writes);
    EXPECT_TRUE(bench.view.timerArmed);
}

TEST(IecPolling, ReadCommandPollsTheChosenParameterAlone) {
    ScenarioBench bench(PolmiraVariant(), SteadyIecProfile());
    bench.view.pollKind = 1;
    bench.view.parameterChoice = 1;  // the second entry: Ub
    bench.Start();
    ASSERT_EQ(bench.view.offeredChoices.size(), 7u);  // the seven 32-bit values, no clock
    EXPECT_EQ(bench.view.offeredChoices[1].label, "Ub");
    ASSERT_TRUE(bench.view.timerArmed) << bench.view.messages.size();
    const PollPlan& plan = bench.controller.pollPlan();
    ASSERT_EQ(plan.groupCount, 1);
    EXPECT_EQ(plan.pollGroups[0].names, std::vector<std::string>{"aub1"});
    EXPECT_EQ(plan.pollGroups[0].startAddress, 0x0202u);
    bench.RunTicks(6);
    EXPECT_GT(bench.device.Station()->counters.reads, 1);
    EXPECT_EQ(bench.view.values[1], "229.00");  // Ub
    EXPECT_EQ(bench.view.values[0], "-----");   // Ua is not polled
}

TEST(IecPolling, UnchangedTimeTagsShowThePlaceholder) {
    // Type 36: short floats with a CP56Time2a time tag.
    SimProfile profile = SteadyIecProfile();
    profile.config.iecValueType = 36;
    profile.config.timeSupport = 1;
    profile.clockAddress = 0x0300;
    RebuildProfileConfig(profile);
    ScenarioBench bench(PolmiraVariant(), profile);
    bench.Start();
    bench.RunTicks(6);
    const std::string shown = bench.view.texts[ViewText::kTransducerTime];
    EXPECT_NE(shown, "xx : xx : xx.xx");
    EXPECT_NE(shown, "00 : 00 : 0.00");

    // Three ticks without a new time tag.
    bench.device.Station()->faults.silent = true;
    bench.RunTicks(3);
    EXPECT_EQ(bench.controller.clockStaleCount(), 3);
    EXPECT_EQ(bench.view.texts[ViewText::kTransducerTime], "xx : xx : xx.xx");
    bench.RunTicks(2);
    EXPECT_EQ(bench.controller.clockStaleCount(), 3);  // it stays at 3
}

TEST(IecClockSync, SetsTheStationClockAtLinkAddressOne) {
    SimProfile profile = SteadyIecProfile();
    profile.config.linkAddress = 1;
    profile.config.timeSupport = 1;
    profile.clockAddress = 0x0300;
    RebuildProfileConfig(profile);
    ScenarioBench bench(PolmiraVariant(), profile);
    bench.controller.OnTimeBaseChanged(false);
    bench.Start();
    bench.RunTicks(2);
    bench.line.ClearWrites();
    bench.controller.OnSyncClock();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
    Iec101Station& station = *bench.device.Station();
    EXPECT_EQ(station.counters.clockSyncs, 1);
    EXPECT_EQ(station.ClockTime().hour, 12);  // UTC was sent
    // The clock synchronisation frame: type 103 at link address 1.
    bool sent = false;
    for (const auto& w : bench.line.Writes()) {
        sent |= w.bytes.size() > 7 && w.bytes[0] == 0x68 && w.bytes[5] == 1 && w.bytes[6] == 103;
    }
    EXPECT_TRUE(sent);
    EXPECT_TRUE(bench.view.timerArmed);
}

TEST(IecClockSync, AStationAtAnotherAddressIsStillAddressedAtOne) {
    SimProfile profile = SteadyIecProfile();  // link address 9
    profile.config.timeSupport = 1;
    profile.clockAddress = 0x0300;
    RebuildProfileConfig(profile);
    ScenarioBench bench(PolmiraVariant(), profile);
    bench.Start();
    bench.controller.OnSyncClock();
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Ошибка при инициализации канала");
    EXPECT_EQ(bench.device.Station()->counters.clockSyncs, 0);
    EXPECT_TRUE(bench.view.timerArmed);  // polling restarted
}

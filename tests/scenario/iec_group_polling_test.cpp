// SPDX-License-Identifier: MIT
// IEC-101 polling by poll kind and interrogation group: which parameters a value set awaits,
// what the link start-up sends, and what the window shows.

#include <gtest/gtest.h>

#include "iec101/iec101_commands.h"
#include "polling/polmira_variant.h"
#include "scenario/iec_line_peers.h"
#include "scenario/scenario_bench.h"
#include "sim/iec101_station.h"

namespace {

constexpr uint8_t kFF = 0xFF;

// TQ51's seven short floats as an IEC-101 station, spread over the station (20) and the groups
// 1 (21), 2 (22) and 3 (23).
SimProfile GroupedProfile() {
    SimProfile profile = SteadyProfile("TQ51");
    profile.config.ExchangeMode = ExchangeMode::kIec101;
    const uint8_t groups[] = {20, 23, 21, 23, 22, 20, 23};  // aua1 aub1 auc1 auab aubc auca flf1
    for (size_t i = 0; i < profile.parameters.size(); ++i) {
        profile.parameters[i].group = groups[i];
    }
    RebuildProfileConfig(profile);
    return profile;
}

// The interrogations the program wrote (type 100), one-byte address.
std::vector<std::vector<uint8_t>> Interrogations(const VirtualLine& line) {
    std::vector<std::vector<uint8_t>> found;
    for (const auto& w : line.Writes()) {
        if (w.bytes.size() > 7 && w.bytes[0] == 0x68 && w.bytes[6] == kTypeInterrogation) {
            found.push_back(w.bytes);
        }
    }
    return found;
}

// A station like the simulated transducer's, with the profile's objects at their base values,
// that answers a class 2 request finding nothing queued with all its values (periodic, cause
// 1): a station for polling by class 2 requests alone.
Iec101StationConfig PeriodicStationOf(const SimProfile& profile) {
    Iec101StationConfig sc;
    const TransducerConfig& c = profile.config;
    sc.linkAddress = c.linkAddress;
    sc.addressWidth = c.iecAddressWidth;
    sc.ioaWidth = c.iecObjectAddressWidth;
    sc.causeWidth = c.iecCauseWidth;
    sc.valueType = c.iecValueType;
    sc.periodicWhenEmpty = true;
    for (const SimParameter& p : profile.parameters) {
        Iec101StationObject object;
        object.ioa = p.address;
        object.value = static_cast<float>(p.base);
        object.group = p.group > 20 ? static_cast<uint8_t>(p.group - 20) : 0;
        sc.objects.push_back(object);
    }
    return sc;
}

}  // namespace

TEST(IecGroupPolling, AwaitedAndExpectedParametersByPollKindAndGroup) {
    struct Case {
        const char* name;
        int pollKind;
        int group;
        std::vector<uint8_t> received;
        std::vector<uint8_t> expected;
    };
    const std::vector<Case> cases = {
        // The station interrogation awaits everything the groups poll.
        {"interrogation, station",
         0,
         0,
         {0, 0, 0, 0, 0, 0, 0},
         {kFF, kFF, kFF, kFF, kFF, kFF, kFF}},
        // Group 3: the station's parameters (20) and group 3's (23) are awaited; those of
        // groups 1 and 2 are neither awaited nor expected.
        {"interrogation, group 3",
         0,
         3,
         {0, 0, kFF, 0, kFF, 0, 0},
         {kFF, kFF, 0, kFF, 0, kFF, kFF}},
        // The read command awaits the chosen parameter alone (the second entry, Ub).
        {"read command", 1, 3, {kFF, 0, kFF, kFF, kFF, kFF, kFF}, {0, kFF, 0, 0, 0, 0, 0}},
        // The link-level read keeps every polled parameter awaited, whatever the group.
        {"link-level read, group 3",
         2,
         3,
         {0, 0, 0, 0, 0, 0, 0},
         {kFF, kFF, kFF, kFF, kFF, kFF, kFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenarioBench bench(PolmiraVariant(), GroupedProfile());
        bench.view.pollKind = c.pollKind;
        bench.view.groupSelection = c.group;
        bench.view.parameterChoice = 1;
        bench.Start();
        ASSERT_TRUE(bench.view.timerArmed);
        const Iec101Master& master = bench.controller.iecMaster();
        EXPECT_EQ(master.ReceivedFlags(), c.received);
        EXPECT_EQ(master.ExpectedMask(), c.expected);
        EXPECT_EQ(master.ValueTable().size(), 7u * 4);
    }
}

TEST(IecGroupPolling, GroupThreeInterrogationCompletesWithoutTheOtherGroups) {
    ScenarioBench bench(PolmiraVariant(), GroupedProfile());
    bench.view.groupSelection = 3;
    bench.Start();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;

    // The start-up interrogates group 3 (QOI 23) at the first group's address, FCB 1 after the
    // reset.
    const auto sent = Interrogations(bench.line);
    ASSERT_EQ(sent.size(), 1u);
    LinkConfig lc = LinkConfig::FromWidths({1, 2, 1}, 3, 6);
    EXPECT_EQ(sent[0], BuildInterrogationFrame(1, 9, 0x0200, lc));
    EXPECT_EQ(sent[0][sent[0].size() - 3], 23);

    // The station answers group 3 and its own objects only, yet the sets complete: the
    // parameters of groups 1 and 2 are not awaited.
    bench.RunTicks(12);
    EXPECT_EQ(bench.view.values[0], "230.00");  // Ua, station
    EXPECT_EQ(bench.view.values[1], "229.00");  // Ub, group 3
    EXPECT_EQ(bench.view.values[2], "0.0000");  // Uc, group 1: never sent, its slot stays 0
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine].find("ошибка"), std::string::npos);
    // The renewed interrogations ask for group 3 again.
    const auto renewed = Interrogations(bench.line);
    ASSERT_GT(renewed.size(), 1u);
    for (const auto& frame : renewed) {
        EXPECT_EQ(frame[frame.size() - 3], 23);
        EXPECT_EQ(frame[8], 6);  // activation
    }
}

TEST(IecGroupPolling, LinkLevelReadWaitsForEveryPolledParameter) {
    const SimProfile profile = GroupedProfile();
    ScenarioBench bench(PolmiraVariant(), profile);
    // At most three objects an answer: a value set takes three class 2 requests.
    Iec101StationConfig config = PeriodicStationOf(profile);
    config.maxObjectsPerAsdu = 3;
    Iec101Station periodic(config, bench.clock);
    Iec101StationPeer stationPeer(periodic, bench.line, bench.device.CurrentSettings());
    // The simulated transducer reads the configuration out; the IEC-101 exchange is the
    // periodic station's.
    DivertingPeer divert(bench, stationPeer, IsIecFrame);
    bench.view.pollKind = 2;
    bench.view.groupSelection = 3;  // not applied to the link-level read
    bench.Start();
    ASSERT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;

    // The start-up deactivates the interrogation (cause 8) of group 3 and goes on with class 2
    // requests only.
    const auto sent = Interrogations(bench.line);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][8], 8);
    EXPECT_EQ(sent[0][sent[0].size() - 3], 23);

    bench.RunTicks(2);
    // Two answers of three values each: the set is not complete yet.
    EXPECT_EQ(bench.view.values[0], "-----");
    bench.RunTicks(10);
    EXPECT_GT(periodic.counters.class2Requests, 8);
    // Every value arrives, those of groups 1 and 2 included.
    EXPECT_EQ(bench.view.values[0], "230.00");
    EXPECT_EQ(bench.view.values[1], "229.00");
    EXPECT_EQ(bench.view.values[2], "231.00");
    EXPECT_EQ(bench.view.texts[ViewText::kAsduField], "13");
    EXPECT_EQ(bench.view.timerPeriodMs, 500u);  // no activation termination, no renewal
}

TEST(IecGroupPolling, CancelledParameterDialogLeavesTheWindowIdle) {
    ScenarioBench bench(PolmiraVariant(), GroupedProfile());
    bench.view.pollKind = 1;  // "Чтение (102)"; the dialog is cancelled
    bench.Start();
    EXPECT_EQ(bench.view.offeredChoices.size(), 7u);
    EXPECT_FALSE(bench.view.timerArmed);
    EXPECT_FALSE(bench.controller.IsPolling());
    EXPECT_FALSE(bench.port.IsOpen());
    EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
    EXPECT_TRUE(bench.view.enabled[ViewControl::kStart]);
    EXPECT_TRUE(bench.view.enabled[ViewControl::kPollKindRead]);
    EXPECT_FALSE(bench.view.enabled[ViewControl::kDelayButton]);
    EXPECT_TRUE(bench.view.messages.empty());
    // Nothing was said to the station: no change-over, no link start-up.
    for (const auto& w : bench.line.Writes()) {
        EXPECT_FALSE(IsIecFrame(w.bytes));
    }
    EXPECT_EQ(bench.device.Station()->counters.statusRequests, 0);
    EXPECT_FALSE(bench.controller.configReadDone());

    // The next Start reads the configuration again and, with a parameter chosen, polls it.
    bench.view.parameterChoice = 0;
    bench.Start();
    EXPECT_EQ(bench.device.configurationReads, 2);
    ASSERT_TRUE(bench.view.timerArmed);
    bench.RunTicks(4);
    EXPECT_EQ(bench.view.values[0], "230.00");
}

// SPDX-License-Identifier: MIT
// The waits inside an IEC-101 tick (before and after a renewed interrogation) keep the window
// alive: a click is handled when it is made, a Stop ends the tick at once, the other commands
// run after it; and a lost interrogation is renewed only after three poll periods without news,
// so that a station that answers "no data" is not flooded.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "iec101/iec101_commands.h"
#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"

namespace {

void StartWithPeriod(ScenarioBench& bench, uint32_t periodMs) {
    bench.view.texts[ViewText::kPeriodField] = std::to_string(periodMs);
    bench.Start();
    ASSERT_TRUE(bench.view.timerArmed);
}

bool IsInterrogation(const VirtualLine::Write& w) {
    return w.bytes.size() > 7 && w.bytes[0] == 0x68 && w.bytes[6] == kTypeInterrogation;
}
bool IsLinkStatusRequest(const VirtualLine::Write& w) {
    return w.bytes.size() == 5 && w.bytes[0] == 0x10 && (w.bytes[1] & 0x0F) == 9;
}

std::vector<uint64_t> InterrogationTimesUs(const VirtualLine& line) {
    std::vector<uint64_t> times;
    for (const auto& w : line.Writes()) {
        if (IsInterrogation(w)) {
            times.push_back(w.timeUs);
        }
    }
    return times;
}

// Inside the wait before a renewed interrogation: polling, with the poll timer killed.
bool InRenewalWait(const ScenarioBench& bench) {
    return bench.controller.IsPolling() && !bench.view.timerArmed;
}

constexpr uint32_t kLongPeriodMs = 10'000;

}  // namespace

TEST(TickWaits, ClicksAreHandledWhenTheyAreMade) {
    ScenarioBench bench(PolmiraVariant(), SteadyIecProfile());
    StartWithPeriod(bench, kLongPeriodMs);
    // A click every 250 ms for a minute, a few renewed interrogations among them.
    const uint64_t from = bench.clock.NowUs();
    uint64_t latestUs = 0;
    int inWait = 0;
    for (uint64_t at = from + 250'000; at < from + 60'000'000; at += 250'000) {
        bench.view.At(at, [&, at] {
            latestUs = std::max(latestUs, bench.clock.NowUs() - at);
            inWait += InRenewalWait(bench) ? 1 : 0;
        });
    }
    bench.view.RunFor(61'000);
    EXPECT_GE(InterrogationTimesUs(bench.line).size(), 3u);
    EXPECT_GT(inWait, 100);
    // Only the receive loops' short sleeps still block.
    EXPECT_LE(latestUs, 100'000u);
    EXPECT_TRUE(bench.view.messages.empty());
}

TEST(TickWaits, AStopInsideTheWaitEndsTheTickAtOnce) {
    int stoppedInWait = 0;
    for (uint64_t k = 1; k <= 12; ++k) {
        SCOPED_TRACE("stop " + std::to_string(k));
        ScenarioBench bench(CalvenaVariant(), SteadyIecProfile());
        StartWithPeriod(bench, kLongPeriodMs);
        // The first renewal comes some 30 s in; from then on most of the time is its wait.
        const uint64_t stopUs = bench.clock.NowUs() + 30'000'000 + k * 2'500'000;
        bench.view.At(stopUs, [&] {
            stoppedInWait += InRenewalWait(bench) ? 1 : 0;
            bench.controller.OnStop();
        });
        bench.view.RunFor(70'000);
        EXPECT_EQ(bench.view.texts[ViewText::kStatusLine], "Ожидание");
        EXPECT_FALSE(bench.view.timerArmed);
        EXPECT_TRUE(bench.view.messages.empty());
        // Nothing of the interrupted tick goes out after the Stop.
        EXPECT_LE(bench.line.Writes().back().timeUs, stopUs);
        // A new Start polls again.
        bench.view.texts[ViewText::kPeriodField] = "500";
        bench.Start();
        bench.RunTicks(3);
        EXPECT_TRUE(bench.view.timerArmed);
        EXPECT_EQ(bench.view.values[3], "230.00");
    }
    EXPECT_GE(stoppedInWait, 6);
}

TEST(TickWaits, ACommandInsideTheWaitRunsAfterTheTick) {
    // A station with a clock (short floats with a time tag) at link address 1, where the
    // clock is set.
    SimProfile profile = SteadyIecProfile();
    profile.config.linkAddress = 1;
    profile.config.iecValueType = 36;
    profile.config.timeSupport = 1;
    profile.clockAddress = 0x0300;
    RebuildProfileConfig(profile);
    ScenarioBench bench(PolmiraVariant(), profile);
    StartWithPeriod(bench, kLongPeriodMs);
    size_t writesAtClick = 0;
    const uint64_t from = bench.clock.NowUs();
    for (uint64_t at = from + 500'000; at < from + 40'000'000; at += 500'000) {
        bench.view.At(at, [&] {
            if (writesAtClick == 0 && InRenewalWait(bench)) {
                writesAtClick = bench.line.Writes().size();
                bench.controller.OnSyncClock();
            }
        });
    }
    // The synchronisation itself first waits a poll period.
    bench.view.RunFor(60'000);
    ASSERT_GT(writesAtClick, 0u);
    EXPECT_EQ(bench.device.Station()->counters.clockSyncs, 1);
    // The tick's renewed interrogation goes out before the clock synchronisation's first frame.
    const auto& writes = bench.line.Writes();
    size_t interrogation = writes.size();
    size_t status = writes.size();
    for (size_t i = writesAtClick; i < writes.size(); ++i) {
        if (interrogation == writes.size() && IsInterrogation(writes[i])) {
            interrogation = i;
        }
        if (status == writes.size() && IsLinkStatusRequest(writes[i])) {
            status = i;
        }
    }
    EXPECT_LT(interrogation, status);
    ASSERT_LT(status, writes.size());
    EXPECT_TRUE(bench.view.timerArmed);  // polling restarted after the synchronisation
    EXPECT_TRUE(bench.view.messages.empty()) << bench.view.messages[0].text;
}

// The interrogation's termination never comes and the station answers "no data" from then on:
// a new interrogation only once three poll periods have passed without a confirmation, values
// or a termination, and the values keep coming.
TEST(InterrogationRenewal, ALostTerminationIsRenewedWithoutFlooding) {
    for (const uint32_t period : {500u, 2000u}) {
        SCOPED_TRACE(period);
        ScenarioBench bench(PolmiraVariant(), SteadyIecProfile());
        bench.device.Station()->faults.noTermination = true;
        StartWithPeriod(bench, period);
        bench.view.RunFor(40 * period);
        const std::vector<uint64_t> times = InterrogationTimesUs(bench.line);
        ASSERT_GE(times.size(), 4u);
        for (size_t i = 1; i < times.size(); ++i) {
            EXPECT_GE(times[i] - times[i - 1], uint64_t{3} * period * 1000) << i;
        }
        // The ticks between find "no data" and say so; the values stand.
        EXPECT_EQ(bench.view.values[0], "230.00");
        EXPECT_TRUE(bench.view.timerArmed);
        EXPECT_TRUE(bench.view.messages.empty());
    }
}

// A healthy station ends every interrogation with its termination: each renewal follows one,
// at the 100 ms cycle, as before.
TEST(InterrogationRenewal, AHealthyCycleRenewsAfterEveryTermination) {
    ScenarioBench bench(CalvenaVariant(), SteadyIecProfile());
    StartWithPeriod(bench, 500);
    bench.view.RunFor(20'000);
    const std::vector<uint64_t> times = InterrogationTimesUs(bench.line);
    ASSERT_GE(times.size(), 10u);
    EXPECT_EQ(bench.view.timerPeriodMs, 100u);
    // Period minus 100 ms before each renewal, then the confirmation, values and termination.
    for (size_t i = 2; i < times.size(); ++i) {
        EXPECT_LT(times[i] - times[i - 1], 1'500'000u) << i;
    }
}
